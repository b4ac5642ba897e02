#include "ui/appearance.h"

#include <QApplication>
#include <QFont>
#include <QProxyStyle>

namespace {
// Dialog buttons carry no icons (the generic desktop theme would give them some), in the boxes
// and in the file dialog alike. A style hint rather than an application style sheet: such a
// sheet puts every widget of every window through the style-sheet machinery.
class ClientStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

void applyClientAppearance()
{
    // The forms name the Windows fonts; these are their metric-compatible or closest Linux faces,
    // so Latin digits and Chinese text in one label come from one family.
    QFont::insertSubstitutions(QStringLiteral("微软雅黑"),
                               {QString::fromLatin1(linuxChineseFamily), QStringLiteral("WenQuanYi Micro Hei")});
    QFont::insertSubstitutions(QStringLiteral("Calibri"), {QStringLiteral("Carlito"), QStringLiteral("DejaVu Sans")});

    QFont font(QStringLiteral("微软雅黑"), 10);
    QApplication::setFont(font);
    QApplication::setStyle(new ClientStyle);
}

QString messageBoxStyleSheet()
{
    return QStringLiteral(
        "QMessageBox{background-color:rgb(248,249,251);}"
        // No minimum width on the labels: it replaces the text's own minimum and cuts long texts.
        "QMessageBox QLabel{color:#222;font-size:10pt;}"
        "QMessageBox QPushButton{min-width:72px;min-height:26px;border-radius:6px;color:white;"
        "background-color:rgb(0,170,255);border:none;padding:2px 12px;}"
        "QMessageBox QPushButton:hover{background-color:rgb(30,185,255);}"
        "QMessageBox QPushButton:pressed{background-color:rgb(0,140,215);}");
}
