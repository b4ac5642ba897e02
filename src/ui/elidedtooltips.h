#pragma once

class QAbstractItemView;
class QModelIndex;

// Whether the view cuts the text of the item with "…" in its cell as laid out now.
bool isItemTextElided(const QAbstractItemView *view, const QModelIndex &index);

// Items of the view whose text is cut show it whole in a tool tip (items with a tool tip of their
// own keep it). Safe to call again for the same view.
void showFullTextOfElidedItems(QAbstractItemView *view);
