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

enum Picture { Logo, TitleBar, Background, PictureCount };

// In the order the dialog needs them.
const std::array<const char *, PictureCount> paths = {":/image/logo3.png", ":/image/标题栏背景.png",
                                                      ":/image/login背景.png"};

QImage readImage(const char *path)
{
    QImage image = QImageReader(QString::fromUtf8(path)).read();
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
            for (int picture = 0; picture < PictureCount; ++picture) {
                QImage image = readImage(paths[picture]);
                const QMutexLocker locker(&mutex);
                images[picture] = std::move(image);
                ready.wakeAll();
            }
        });
    }

    std::optional<QImage> take(Picture picture)
    {
        if (!started || taken[picture])
            return std::nullopt;
        taken[picture] = true;
        const QMutexLocker locker(&mutex);
        while (!images[picture])
            ready.wait(&mutex);
        return std::exchange(images[picture], QImage());
    }

    int waiting()
    {
        const QMutexLocker locker(&mutex);
        return int(std::count_if(images.begin(), images.end(), [](const std::optional<QImage> &image) {
            return image && !image->isNull();
        }));
    }

private:
    bool started = false;
    std::array<bool, PictureCount> taken{};
    QMutex mutex;
    QWaitCondition ready;
    std::array<std::optional<QImage>, PictureCount> images;
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

int waitingDecodes()
{
    return decodes().waiting();
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
    for (const Picture picture : {Logo, TitleBar}) {
        if (std::optional<QImage> image = decodes().take(picture))
            QPixmapCache::insert(pixmapCacheKey(QString::fromUtf8(paths[picture])), QPixmap::fromImage(std::move(*image)));
    }
}

QPixmap background()
{
    std::optional<QImage> image = decodes().take(Background);
    // Outside the pixmap cache, so that releasing the picture gives its memory back.
    return QPixmap::fromImage(image ? std::move(*image) : readImage(paths[Background]));
}

} // namespace LoginPictures
