#include "ui/elidedtooltips.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHelpEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>

namespace {

const char *const kInstalledProperty = "korvaneElidedToolTips";

class ElidedItemToolTips : public QObject {
public:
    explicit ElidedItemToolTips(QAbstractItemView *view) : QObject(view), view(view), viewport(view->viewport()) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Only the event type and the stored viewport are looked at first: while the view is being
        // destroyed, its viewport still sends events and the view is no longer a scroll area.
        if (event->type() != QEvent::ToolTip || watched != viewport)
            return false;
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = view->indexAt(help->pos());
        if (!index.isValid() || !index.data(Qt::ToolTipRole).toString().isEmpty())
            return false;
        if (isItemTextElided(view, index))
            QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(),
                               view->visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }

private:
    QAbstractItemView *view;
    QObject *viewport;
};

} // namespace

bool isItemTextElided(const QAbstractItemView *view, const QModelIndex &index)
{
    if (!view || !index.isValid() || index.data(Qt::DisplayRole).toString().isEmpty())
        return false;
    // The delegate's size hint is what the item needs uncut: text, icon and the style's margins.
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.widget = view;
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    const int iconExtent = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
    option.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(iconExtent, iconExtent);
    option.textElideMode = view->textElideMode();
    const QSize needed = view->itemDelegate(index)->sizeHint(option, index);
    return needed.width() > view->visualRect(index).width();
}

void showFullTextOfElidedItems(QAbstractItemView *view)
{
    if (!view || view->property(kInstalledProperty).toBool())
        return;
    view->setProperty(kInstalledProperty, true);
    view->viewport()->installEventFilter(new ElidedItemToolTips(view));
}
