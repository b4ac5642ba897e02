// The yardstick for the client's start-up and memory: a bare Qt Widgets program that shows one
// frameless 1038 x 619 window with a Chinese label. Like the client it leaves the xcb GL
// integration out unless QT_XCB_GL_INTEGRATION says otherwise (the GL yardstick sets xcb_glx).
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    window.resize(1038, 619);
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(QStringLiteral("Korvane远程接入灵途"), &window);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    window.show();
    return QApplication::exec();
}
