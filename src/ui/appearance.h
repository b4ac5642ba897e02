#pragma once

#include <QString>

// The look every window shares: the fonts the forms name are mapped to what a Linux desktop has,
// and dialog buttons carry no icons.
void applyClientAppearance();

// The message boxes' own look, set on each box (see MessageBoxes).
QString messageBoxStyleSheet();
