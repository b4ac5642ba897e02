#pragma once

#include <QMetaType>
#include <string>

// The session token travels from the login dialog to the main window as std::string.
Q_DECLARE_METATYPE(std::string)

// Registers the client's own argument types with the meta-object system (needed for string-based
// and queued connections); cheap to call more than once.
inline void registerClientMetaTypes()
{
    qRegisterMetaType<std::string>("std::string");
}
