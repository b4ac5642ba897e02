#include "api/exchangewait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace ExchangeWait {

namespace {

// One transfer, shared by the waiting caller and its worker: whichever leaves last frees it.
struct Job {
    Transfer transfer;
    AbortFlag abort{false};
    std::atomic<bool> done{false};
    QEventLoop *loop = nullptr; // touched on the GUI thread only; null once the caller stopped waiting
};

// Workers still running. Leaked on purpose: a worker may finish after static destruction began.
struct Workers {
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
    std::vector<std::weak_ptr<Job>> jobs;
};
Workers &workers()
{
    static Workers *const all = new Workers;
    return *all;
}

int waitDepth = 0; // GUI thread only

struct HeldWork {
    QPointer<QObject> context;
    const char *key;
    std::function<void()> work;
};
std::vector<HeldWork> held; // GUI thread only

// The outermost wait has ended: what was held runs from the event loop, after the caller is done.
void releaseHeldWork()
{
    std::vector<HeldWork> due;
    due.swap(held);
    for (HeldWork &item : due) {
        if (item.context)
            QMetaObject::invokeMethod(item.context, std::move(item.work), Qt::QueuedConnection);
    }
}

// At the application's end, the transfers still running are told to abort and given a moment:
// process exit must not pull libcurl's TLS state from under a running one.
void drainWorkers()
{
    Workers &all = workers();
    std::unique_lock<std::mutex> lock(all.mutex);
    for (const std::weak_ptr<Job> &weak : all.jobs) {
        if (const std::shared_ptr<Job> job = weak.lock())
            job->abort = true;
    }
    all.finished.wait_for(lock, std::chrono::seconds(3), [&all] { return all.running == 0; });
}

void startWorker(const std::shared_ptr<Job> &job)
{
    static const bool drainRegistered = [] {
        qAddPostRoutine(drainWorkers);
        return true;
    }();
    Q_UNUSED(drainRegistered)
    Workers &all = workers();
    {
        const std::lock_guard<std::mutex> lock(all.mutex);
        ++all.running;
        all.jobs.erase(std::remove_if(all.jobs.begin(), all.jobs.end(),
                                      [](const std::weak_ptr<Job> &weak) { return weak.expired(); }),
                       all.jobs.end());
        all.jobs.push_back(job);
    }
    std::thread([job] {
        job->transfer(job->abort);
        job->done.store(true, std::memory_order_release);
        // Wakes the waiting caller (if it still waits) from its own thread.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [job] {
                    if (job->loop)
                        job->loop->quit();
                },
                Qt::QueuedConnection);
        }
        Workers &all = workers();
        const std::lock_guard<std::mutex> lock(all.mutex);
        --all.running;
        all.finished.notify_all();
    }).detach();
}

} // namespace

bool run(Transfer transfer)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        const AbortFlag never{false};
        transfer(never);
        return true;
    }

    auto job = std::make_shared<Job>();
    job->transfer = std::move(transfer);
    QEventLoop loop;
    job->loop = &loop;
    ++waitDepth;
    startWorker(job);
    // The loop ends when the worker wakes it, or when the application quits (which ends every
    // loop, and refuses to start one once it is quitting).
    while (!job->done.load(std::memory_order_acquire)) {
        if (loop.exec() != 0)
            break;
        if (!job->done.load(std::memory_order_acquire) && QCoreApplication::closingDown())
            break;
    }
    job->loop = nullptr;
    if (--waitDepth == 0)
        releaseHeldWork();
    if (job->done.load(std::memory_order_acquire))
        return true;
    job->abort = true;
    return false;
}

bool isWaiting()
{
    return waitDepth > 0;
}

void holdUntilIdle(QObject *context, const char *key, std::function<void()> work)
{
    if (waitDepth == 0) {
        work();
        return;
    }
    for (const HeldWork &item : held) {
        if (item.context == context && qstrcmp(item.key, key) == 0)
            return;
    }
    held.push_back({context, key, std::move(work)});
}

int runningTransfers()
{
    Workers &all = workers();
    const std::lock_guard<std::mutex> lock(all.mutex);
    return all.running;
}

} // namespace ExchangeWait
