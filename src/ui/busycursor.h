#pragma once

// While a platform exchange waits, the windows show the busy cursor and take no input that could
// start another operation (ui/waitinginputfilter.h); they keep painting and moving. Installed once
// at start.
void showBusyCursorDuringExchanges();
