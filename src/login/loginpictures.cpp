#include "login/loginpictures.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QPixmapCache>
#include <QThreadPool>
#include <QWaitCondition>
#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace {

// In the order the dialog needs them; the first two are the form's own. (The drop-down arrow is
// a style sheet's icon, read through QIcon's own file loader at the first paint.)
const std::array<const char *, 7> paths = {":/image/logo3.png", ":/image/标题栏背景.png", ":/image/min.png",
                                           ":/image/exit.png",  ":/image/账号.png",       ":/image/密码.png",
                                           ":/image/login背景.png"};
constexpr std::size_t formPictures = 2;

QImage readImage(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    // Converted here too: a pixmap adopts these pixels as they are.
    if (image.hasAlphaChannel())
        return std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return image;
}

// The images decoded on the pool, each taken at most once by the main thread.
class Decodes {
public:
    void start()
    {
        started = true;
        QThreadPool::globalInstance()->start([this] {
            for (std::size_t index = 0; index < paths.size(); ++index) {
                QImage image = readImage(QString::fromUtf8(paths[index]));
                const QMutexLocker locker(&mutex);
                images[index] = std::move(image);
                ready.wakeAll();
            }
        });
    }

    std::optional<QImage> take(const QString &path)
    {
        const auto found = std::find_if(paths.begin(), paths.end(),
                                        [&path](const char *candidate) { return path == QString::fromUtf8(candidate); });
        const auto index = std::size_t(found - paths.begin());
        if (!started || found == paths.end() || taken[index])
            return std::nullopt;
        taken[index] = true;
        const QMutexLocker locker(&mutex);
        while (!images[index])
            ready.wait(&mutex);
        return std::exchange(images[index], QImage());
    }

    int waiting()
    {
        const QMutexLocker locker(&mutex);
        return int(std::count_if(images.begin(), images.end(),
                                 [](const std::optional<QImage> &image) { return image && !image->isNull(); }));
    }

private:
    bool started = false;
    std::array<bool, paths.size()> taken{};
    QMutex mutex;
    QWaitCondition ready;
    std::array<std::optional<QImage>, paths.size()> images;
};

Decodes &decodes()
{
    static Decodes instance;
    return instance;
}

// Qt's HexString: every byte of the value in memory order, low nibble first.
template <typename T> void appendHex(QString &text, T value)
{
    const auto *byte = reinterpret_cast<const unsigned char *>(&value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        text += QLatin1Char("0123456789abcdef"[byte[i] & 0xf]);
        text += QLatin1Char("0123456789abcdef"[byte[i] >> 4]);
    }
}

} // namespace

namespace LoginPictures {

void startDecoding()
{
    static bool started = false;
    if (!started)
        decodes().start();
    started = true;
}

QString pixmapCacheKey(const QString &path)
{
    const QFileInfo info(path);
    QString key = QStringLiteral("qt_pixmap") + info.absoluteFilePath();
    appendHex(key, uint(info.lastModified().toSecsSinceEpoch()));
    appendHex(key, quint64(info.size()));
    appendHex(key, uint(0)); // QPlatformPixmap::PixmapType
    return key;
}

void offerFormPictures()
{
    for (std::size_t index = 0; index < formPictures; ++index) {
        const QString path = QString::fromUtf8(paths[index]);
        if (std::optional<QImage> image = decodes().take(path))
            QPixmapCache::insert(pixmapCacheKey(path), QPixmap::fromImage(std::move(*image)));
    }
}

QPixmap picture(const QString &path)
{
    std::optional<QImage> image = decodes().take(path);
    return QPixmap::fromImage(image ? std::move(*image) : readImage(path));
}

QIcon icon(const QString &path)
{
    QIcon icon;
    icon.addPixmap(picture(path));
    return icon;
}

int waitingDecodes()
{
    return decodes().waiting();
}

} // namespace LoginPictures
