#pragma once

#include <atomic>
#include <functional>

class QObject;

// Waiting for a platform transfer without freezing the windows. The transfer runs on a worker
// thread while the calling (GUI) thread keeps turning its event loop in a local loop: windows
// repaint, timers and sockets are served. Callers stay synchronous: run() returns when the transfer
// is over.
namespace ExchangeWait {

// Told to give up: set when the wait was ended early (the application quits); the transfer should
// end as soon as it notices.
using AbortFlag = std::atomic<bool>;
using Transfer = std::function<void(const AbortFlag &abort)>;

// Runs transfer on a worker thread and waits for it in a local event loop. The transfer must own
// everything it touches (it may outlive the call). Returns true when it finished, false when the
// wait ended first because the application is quitting; the transfer is then told to abort and
// finishes on its own. Without an application, or off its thread, the transfer runs in place.
bool run(Transfer transfer);

// Whether the GUI thread is waiting for a transfer, anywhere down its stack.
bool isWaiting();

// Holds work that came due while a transfer is waited for (a timer tick) until the outermost wait
// has ended; it then runs once from the event loop, however often it was held meanwhile (one per
// context and key). Runs it at once when nothing waits. Dropped when the context is destroyed.
void holdUntilIdle(QObject *context, const char *key, std::function<void()> work);

// Transfers told to abort and not yet finished, or still running because their wait was cut short.
int runningTransfers();

} // namespace ExchangeWait
