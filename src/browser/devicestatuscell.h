#pragma once

class QWidget;

// The status cell of a device row: a small picture, 对 for online and 错 for offline.
QWidget *makeDeviceStatusCell(bool online);

// Whether a status cell made above shows this state already (false for any other widget or none).
bool deviceStatusCellShows(const QWidget *cell, bool online);
