#pragma once

class QWidget;

// The status cell of a device row: a small picture, 对 for online and 错 for offline.
QWidget *makeDeviceStatusCell(bool online);
