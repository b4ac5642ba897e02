#pragma once

class QWidget;

// Paints the widget's style-sheet background (plain widgets skip it otherwise) and gives the
// frameless window rounded corners through a one-bit mask of its size.
void paintStyledBackgroundWithRoundedMask(QWidget *window, int cornerRadius);
