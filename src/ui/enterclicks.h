#pragma once

#include <QList>

class QAbstractButton;
class QLineEdit;

// Enter in any of the form's fields presses the form's button, as a dialog's default button would
// (the forms use tool buttons, which have no default-button role).
void clickOnEnter(QAbstractButton *button, const QList<QLineEdit *> &fields);
