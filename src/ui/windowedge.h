#pragma once

class QColor;
class QWidget;

// A thin outline along the rounded outer edge of a frameless window, drawn over its children, so a
// light window stays visible in front of light panels (no window manager gives it a shadow).
void addWindowEdge(QWidget *window, int cornerRadius, const QColor &color);
