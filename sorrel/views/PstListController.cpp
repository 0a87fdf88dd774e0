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
    if (items == m_items)
        return;
    emit itemSelected(nullptr);
    m_items = items;
    m_model->setItems(items);
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
    return m_items.isEmpty();
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
}
