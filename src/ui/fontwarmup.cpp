#include "ui/fontwarmup.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

void FontWarmup::start() {}
void FontWarmup::finish() {}

#else

#include "ui/appearance.h"

#include <QByteArray>

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

// The heavier faces of the Chinese family are left out of the configuration: Qt then has FreeType
// embolden the regular face for the bold texts (the headings, the user and site names), and the
// process maps and parses one Chinese font of some 20 MB instead of two (about 3.5 MB less while
// the login dialog waits, 6 MB in use).
QByteArray singleFaceRule()
{
    QByteArray rule("<fontconfig><selectfont><rejectfont>");
    for (const char *weight : {"bold", "black"}) {
        rule += QByteArray("<pattern><patelt name=\"family\"><string>") + linuxChineseFamily +
                "</string></patelt><patelt name=\"weight\"><const>" + weight + "</const></patelt></pattern>";
    }
    return rule + "</rejectfont></selectfont></fontconfig>";
}

// The system's configuration (FONTCONFIG_FILE and the user's files included) with that rule,
// made the current one; Qt's font database then finds it loaded. Plain FcInit if anything fails.
void loadConfiguration()
{
    // The library Qt's platform plugin links to (same name, so the same copy); it stays loaded.
    void *fontconfig = dlopen("libfontconfig.so.1", RTLD_LAZY);
    if (!fontconfig)
        return;
    const auto create = reinterpret_cast<void *(*)()>(dlsym(fontconfig, "FcConfigCreate"));
    const auto parse = reinterpret_cast<int (*)(void *, const unsigned char *, int)>(
        dlsym(fontconfig, "FcConfigParseAndLoadFromMemory"));
    const auto load = reinterpret_cast<int (*)(void *, const unsigned char *, int)>(
        dlsym(fontconfig, "FcConfigParseAndLoad"));
    const auto build = reinterpret_cast<int (*)(void *)>(dlsym(fontconfig, "FcConfigBuildFonts"));
    const auto setCurrent = reinterpret_cast<int (*)(void *)>(dlsym(fontconfig, "FcConfigSetCurrent"));
    const auto destroy = reinterpret_cast<void (*)(void *)>(dlsym(fontconfig, "FcConfigDestroy"));
    const auto version = reinterpret_cast<int (*)()>(dlsym(fontconfig, "FcGetVersion"));
    const auto init = reinterpret_cast<int (*)()>(dlsym(fontconfig, "FcInit"));
    if (create && parse && load && build && setCurrent && destroy && version) {
        const QByteArray rule = singleFaceRule();
        void *config = create();
        // The rule, then the system's files (a null name: FONTCONFIG_FILE or fonts.conf).
        const bool loaded = config && parse(config, reinterpret_cast<const unsigned char *>(rule.constData()), 0) &&
                            load(config, nullptr, 1) && build(config) && setCurrent(config);
        // Since 2.14 the current configuration holds a reference of its own.
        if (config && (!loaded || version() >= 21400))
            destroy(config);
        if (loaded)
            return;
    }
    if (init)
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
