#pragma once
// Drives the item list: shows a folder's records as cards in a PSTListView,
// sorts them through a proxy, and reports the record the user picks.
//
//   PstListController(PSTListView* view, QObject* parent)
//   setItems(list)          show a folder's records (same list again: no-op)
//   sortBy(column, order)   column 1 subject, 3 date, else title;
//                           order -1 unsorted, 0 ascending, else descending
//   isEmpty()               nothing listed
//   itemSelected(item)      the picked record; empty when the list changed

#include "sorrel/items/PstItem.h"

#include <QObject>

class PSTListView;
class PstListModel;
class PstListSortProxy;
class PstListViewDelegate;
class QItemSelection;

class PstListController : public QObject
{
    Q_OBJECT
public:
    PstListController(PSTListView* view, QObject* parent);

    void setItems(const QList<std::shared_ptr<PstItem>>& items);
    void sortBy(int column, int order);
    bool isEmpty() const;

    PstListModel* model() const { return m_model; }
    PstListSortProxy* proxy() const { return m_proxy; }

signals:
    void itemSelected(std::shared_ptr<PstItem> item);

private:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    PSTListView* m_view = nullptr;
    PstListModel* m_model = nullptr;
    PstListSortProxy* m_proxy = nullptr;
    PstListViewDelegate* m_delegate = nullptr;
    QList<std::shared_ptr<PstItem>> m_items;
};
