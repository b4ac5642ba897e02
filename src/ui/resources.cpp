#include "ui/resources.h"

#include <QtGlobal>

void initKorvaneResources()
{
    Q_INIT_RESOURCE(resources);
}
