#include "sorrel/views/PstListController.h"

#include "sorrel/views/PSTListView.h"
#include "sorrel/views/PstListModel.h"
#include "sorrel/views/PstListViewDelegate.h"

#include <QItemSelectionModel>

PstListController::PstListController(PSTListView* view, QObject* parent) : QObject(parent), m_view(view)
{
    m_model = new PstListModel(this);
    m_proxy = new PstListSortProxy(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(Qt::DisplayRole);
    m_delegate = new PstListViewDelegate(view);
    view->setModel(m_proxy);
    view->setItemDelegate(m_delegate);
    view->setMinimumWidth(0);
    // Rows of one folder share their height; the view need not ask each row.
    view->setUniformItemSizes(true);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PstListController::onSelectionChanged);
}

void PstListController::setItems(const QList<std::shared_ptr<PstItem>>& items)
{
    if (!m_model->isSearchMode() && items == m_items)
        return;
    emit itemSelected(nullptr);
    m_items = items;
    m_rows.clear();
    m_model->setItems(items);
}

void PstListController::setSearchResults(const QList<PstSearchResult>& rows, const QStringList& terms)
{
    emit itemSelected(nullptr);
    m_items.clear();
    m_rows = rows;
    m_model->setSearchResults(rows, terms);
}

void PstListController::sortBy(int column, int order)
{
    m_proxy->setSortRole(column == 1 ? PstListRoles::SubjectRole
                         : column == 3 ? PstListRoles::SortTimeRole
                                       : int(Qt::DisplayRole));
    if (order == -1)
        m_proxy->sort(-1);
    else
        m_proxy->sort(0, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool PstListController::isEmpty() const
{
    return m_items.isEmpty() && m_rows.isEmpty();
}

void PstListController::selectItem(const std::shared_ptr<PstItem>& item)
{
    if (!item || !m_view)
        return;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->itemAt(row) == item) {
            const QModelIndex index = m_proxy->mapFromSource(m_model->index(row));
            m_view->setCurrentIndex(index);
            m_view->scrollTo(index);
            return;
        }
    }
}

void PstListController::onSelectionChanged(const QItemSelection& selected, const QItemSelection&)
{
    if (selected.isEmpty() || selected.indexes().isEmpty())
        return;
    const QModelIndex source = m_proxy->mapToSource(selected.indexes().first());
    if (!source.isValid())
        return;
    if (auto item = m_model->itemAt(source.row()))
        emit itemSelected(item);
    else if (m_model->isSearchMode())
        emit searchResultSelected(m_model->searchRows().at(source.row()));
}
