#pragma once

#include "desktop/traystate.h"

#include <QImage>

// The tray picture of a state at a pixel size: the Korvane K on its tile with the state's badge.
// The badges differ in outline, not only in colour, so that they tell the states apart to a
// colour-blind eye and at 16 px: connected a round badge with a tick, connecting an hourglass,
// reconnecting a square with a turning arrow, down a warning triangle, off no badge on a grey tile.
QImage trayPicture(TrayState state, int size);
