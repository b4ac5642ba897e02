#include "ui/fontwarmup.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

void FontWarmup::start() {}
void FontWarmup::finish() {}

#else

#include <dlfcn.h>
#include <thread>

namespace {

// Joined at exit at the latest, for a start that ends before the dialog.
struct Warmup {
    std::thread thread;
    ~Warmup() { finish(); }
    void finish()
    {
        if (thread.joinable())
            thread.join();
    }
};

Warmup &warmup()
{
    static Warmup instance;
    return instance;
}

void loadConfiguration()
{
    // The library Qt's platform plugin links to (same name, so the same copy); it stays loaded.
    void *fontconfig = dlopen("libfontconfig.so.1", RTLD_LAZY);
    if (!fontconfig)
        return;
    if (auto *init = reinterpret_cast<int (*)()>(dlsym(fontconfig, "FcInit")))
        init();
}

} // namespace

void FontWarmup::start()
{
    if (!warmup().thread.joinable())
        warmup().thread = std::thread(loadConfiguration);
}

void FontWarmup::finish()
{
    warmup().finish();
}

#endif
