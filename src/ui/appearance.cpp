#include "ui/appearance.h"

#include <QApplication>
#include <QFont>

void applyClientAppearance()
{
    // The forms name the Windows fonts; these are their metric-compatible or closest Linux faces,
    // so Latin digits and Chinese text in one label come from one family.
    QFont::insertSubstitutions(QStringLiteral("微软雅黑"),
                               {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
    QFont::insertSubstitutions(QStringLiteral("Calibri"), {QStringLiteral("Carlito"), QStringLiteral("DejaVu Sans")});

    QFont font(QStringLiteral("微软雅黑"), 10);
    QApplication::setFont(font);

    qApp->setStyleSheet(QStringLiteral(
        "QMessageBox{background-color:rgb(248,249,251);}"
        // No minimum width on the labels: it replaces the text's own minimum and cuts long texts.
        "QMessageBox QLabel{color:#222;font-size:10pt;}"
        "QDialogButtonBox{dialogbuttonbox-buttons-have-icons:0;}"
        "QMessageBox QPushButton{min-width:72px;min-height:26px;border-radius:6px;color:white;"
        "background-color:rgb(0,170,255);border:none;padding:2px 12px;}"
        "QMessageBox QPushButton:hover{background-color:rgb(30,185,255);}"
        "QMessageBox QPushButton:pressed{background-color:rgb(0,140,215);}"));
}
