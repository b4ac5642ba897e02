#pragma once

#include <QString>
#include <optional>

// What the user is told after a tapAuthLogin answer, for the bind button and for the automatic
// binding at login. Kept free of widgets so the table is tested on its own.
struct BindingMessage {
    QString title;
    QString text;
    QString logWarning;   // empty: nothing is logged
};

// Manual binding (critical box). `answered` is false when the transfer failed.
std::optional<BindingMessage> manualBindingMessage(bool answered, std::optional<int> code);

// Automatic binding at login (about box), for a reply with a code other than 100.
std::optional<BindingMessage> automaticBindingMessage(int code);

// Whether a failed automatic binding may cost the user the stored binding: only when the platform
// really refused it, not when it could not be asked (no reply, unusable reply, expired session).
bool bindingRefusedByPlatform(bool answered, std::optional<int> code);
