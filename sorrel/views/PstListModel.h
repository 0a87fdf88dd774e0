#pragma once
// One-column model of the item list: one row per record, answering the
// roles of PstListRoles from the record itself (no per-row copies).

#include "sorrel/items/PstItem.h"
#include "sorrel/views/PstListRoles.h"

#include <QAbstractListModel>
#include <QSortFilterProxyModel>

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

    // Sort keys per row (title, subject, sort time), taken from the records
    // once per list on first use, so sorting costs no virtual calls or map
    // lookups per comparison.
    const QString& titleKey(int row) const;
    const QString& subjectKey(int row) const;
    quint64 sortTimeKey(int row) const;

private:
    void buildKeys() const;

    QList<std::shared_ptr<PstItem>> m_items;
    mutable QList<QString> m_titleKeys;
    mutable QList<QString> m_subjectKeys;
    mutable QList<quint64> m_timeKeys;
    mutable bool m_keysBuilt = false;
};

// The list's sort proxy: compares the model's cached keys for the title,
// subject and sort-time roles, like QSortFilterProxyModel would compare the
// role values.
class PstListSortProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};
