// What a real client on a virtual X server has mapped once its login dialog is up. It draws nothing
// with OpenGL, so it must not load Mesa's driver and LLVM (tens of megabytes) the way Qt's xcb GL
// integration does; the same client with the integration switched on shows the test can see them.
// And it reads one Chinese face: the bold headings are the regular face emboldened, not a second
// font file of some 20 MB that the system's configuration would otherwise pick for them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
const QStringList mesaLibraries{QStringLiteral("libLLVM"), QStringLiteral("libGLX_mesa"), QStringLiteral("_dri.so"),
                                QStringLiteral("libglapi"), QStringLiteral("libgallium")};

QByteArray mappedFiles(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}

// The file fontconfig's own configuration gives for this pattern (fc-match, not the client's code).
QString systemFontFile(const QString &pattern)
{
    QProcess match;
    match.start(QStringLiteral("fc-match"), {QStringLiteral("--format=%{file}"), pattern});
    return match.waitForFinished(10000) ? QString::fromLocal8Bit(match.readAllStandardOutput()) : QString();
}

QStringList mesaIn(const QByteArray &maps)
{
    QStringList found;
    for (const QString &library : mesaLibraries) {
        if (maps.contains(library.toUtf8()))
            found << library;
    }
    return found;
}
} // namespace

class TestClientMappings : public QObject {
    Q_OBJECT

    QProcess xserver;
    QString display;

    // The client's mappings once its login dialog is up.
    QByteArray clientMappings(const QString &glIntegration)
    {
        QTemporaryDir work;
        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("QT_XCB_GL_INTEGRATION"));
        // In the sanitizer build: libxkbcommon-x11 trips the strict string checks.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        if (!glIntegration.isEmpty())
            environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), glIntegration);
        client.setProcessEnvironment(environment);
        client.setWorkingDirectory(work.path());
        client.start(QStringLiteral(KORVANE_CLIENT), QStringList());
        if (!client.waitForStarted(5000))
            return {};
        QByteArray maps;
        (void)QTest::qWaitFor(
            [&] {
                maps = mappedFiles(client.processId());
                return maps.contains("NotoSansCJK") || maps.contains("wqy");
            },
            15000);
        // The font is opened before the window shows; give the window its moment.
        QTest::qWait(1500);
        maps = mappedFiles(client.processId());
        client.kill();
        client.waitForFinished(5000);
        return maps;
    }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            QSKIP("needs Xvfb");
        for (int number = 200 + getpid() % 300; display.isEmpty() && number < 600; ++number) {
            if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                display = QStringLiteral(":%1").arg(number);
        }
        xserver.start(xvfb, {display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1366x768x24"),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QVERIFY(xserver.waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([this] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X") + display.mid(1)); },
                                10000));
    }

    void cleanupTestCase()
    {
        xserver.terminate();
        xserver.waitForFinished(5000);
    }

    void leanByDefault()
    {
        const QByteArray maps = clientMappings(QString());
        QVERIFY2(maps.contains("libqxcb") && maps.contains("NotoSansCJK"), "the client did not come up on X11");
        QCOMPARE(mesaIn(maps), QStringList());

        const QString regular = systemFontFile(QStringLiteral("Noto Sans CJK SC"));
        const QString bold = systemFontFile(QStringLiteral("Noto Sans CJK SC:bold"));
        if (bold.isEmpty() || bold == regular)
            QSKIP("needs fontconfig's fc-match and a separate bold Chinese face (fonts-noto-cjk)");
        QVERIFY2(maps.contains(regular.toUtf8()), qPrintable(regular));
        QVERIFY2(!maps.contains(bold.toUtf8()), qPrintable(bold + QStringLiteral(" is mapped")));
    }

    void integrationOnLoadsMesa()
    {
        const QByteArray maps = clientMappings(QStringLiteral("xcb_glx"));
        QVERIFY(mesaIn(maps).contains(QStringLiteral("libLLVM")));
    }
};

QTEST_GUILESS_MAIN(TestClientMappings)
#include "tst_clientmappings.moc"
