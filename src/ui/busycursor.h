#pragma once

// Every platform exchange blocks the windows; while one runs, they show the busy cursor, so a
// press of a button visibly does something. Installed once at start.
void showBusyCursorDuringExchanges();
