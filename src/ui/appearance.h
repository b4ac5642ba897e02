#pragma once

// The look every window shares: the fonts the forms name are mapped to what a Linux desktop has,
// and message boxes match the rest of the client.
void applyClientAppearance();
