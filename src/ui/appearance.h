#pragma once

#include <QString>

// The look every window shares: the fonts the forms name are mapped to what a Linux desktop has,
// and dialog buttons carry no icons.
void applyClientAppearance();

// The Chinese face that stands in for the forms' 微软雅黑 on Linux.
inline constexpr char linuxChineseFamily[] = "Noto Sans CJK SC";

// The message boxes' own look, set on each box (see MessageBoxes).
QString messageBoxStyleSheet();
