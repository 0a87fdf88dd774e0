#pragma once
// One-column model of the item list: one row per record, answering the
// roles of PstListRoles from the record itself (no per-row copies).

#include "sorrel/items/PstItem.h"
#include "sorrel/views/PstListRoles.h"

#include <QAbstractListModel>

class PstListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Resets the model to items.
    void setItems(const QList<std::shared_ptr<PstItem>>& items);
    const QList<std::shared_ptr<PstItem>>& items() const { return m_items; }
    std::shared_ptr<PstItem> itemAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<std::shared_ptr<PstItem>> m_items;
};
