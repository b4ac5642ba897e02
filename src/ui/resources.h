#pragma once

// The pictures live in the static GUI library; programs and tests register them once at start.
void initKorvaneResources();
