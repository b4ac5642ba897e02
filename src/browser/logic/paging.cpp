#include "browser/logic/paging.h"

#include <QString>

int pageNumberFromLabel(const QString &text)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? number : 0;
}

int gatewayTargetPage(PageButton button, int current, int total)
{
    switch (button) {
    case PageButton::First: return 1;
    case PageButton::Previous: return current == 1 ? current : current - 1;
    case PageButton::Next: return current == total ? total : current + 1;
    case PageButton::Last: return total;
    }
    return current;
}

int deviceTargetPage(PageButton button, int current, int total)
{
    switch (button) {
    case PageButton::First: return 1;
    case PageButton::Previous: return current > 1 ? current - 1 : current;
    case PageButton::Next: return current < total ? current + 1 : total;
    case PageButton::Last: return total;
    }
    return current;
}
