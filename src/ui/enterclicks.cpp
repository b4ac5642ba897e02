#include "ui/enterclicks.h"

#include <QAbstractButton>
#include <QLineEdit>

void clickOnEnter(QAbstractButton *button, const QList<QLineEdit *> &fields)
{
    for (QLineEdit *field : fields) {
        if (!field)
            continue;
        QObject::connect(field, &QLineEdit::returnPressed, button, [button] {
            // A button the form disabled does not act on Enter either.
            if (button->isEnabled())
                button->click();
        });
    }
}
