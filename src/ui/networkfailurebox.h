#pragma once

// The box for a request the platform did not answer (no network, the platform down or silent):
// critical, titled "错误".
void showNetworkFailureBox();
