#pragma once
// Drives the item list: shows a folder's records as cards in a PSTListView,
// sorts them through a proxy, and reports the record the user picks.
//
//   PstListController(PSTListView* view, QObject* parent)
//   setItems(list)          show a folder's records (same list again: no-op)
//   setSearchResults(rows, terms)  show a search's rows
//   sortBy(column, order)   column 1 subject, 3 date, else title;
//                           order -1 unsorted, 0 ascending, else descending
//   isEmpty()               nothing listed
//   selectItem(item)        select the row of a listed record
//   itemSelected(item)      the picked record (a search row's live item too);
//                           empty when the list changed
//   searchResultSelected(row)  the picked search row without a live item

#include "sorrel/items/PstItem.h"
#include "sorrel/search/PstSearch.h"

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
    void setSearchResults(const QList<PstSearchResult>& rows, const QStringList& terms);
    void sortBy(int column, int order);
    bool isEmpty() const;
    // Selects the row showing item (nothing when it is not listed).
    void selectItem(const std::shared_ptr<PstItem>& item);

    PstListModel* model() const { return m_model; }
    PstListSortProxy* proxy() const { return m_proxy; }

signals:
    void itemSelected(std::shared_ptr<PstItem> item);
    void searchResultSelected(PstSearchResult result);

private:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    PSTListView* m_view = nullptr;
    PstListModel* m_model = nullptr;
    PstListSortProxy* m_proxy = nullptr;
    PstListViewDelegate* m_delegate = nullptr;
    QList<std::shared_ptr<PstItem>> m_items;
    QList<PstSearchResult> m_rows;
};
