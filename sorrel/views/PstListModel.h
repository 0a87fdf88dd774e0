#pragma once
// One-column model of the item list: one row per record, answering the
// roles of PstListRoles from the record itself (no per-row copies). In
// search mode (while it holds search rows) its rows are the search results:
// rows with a live item answer from the item, index rows from their record.

#include "sorrel/items/PstItem.h"
#include "sorrel/search/PstSearch.h"
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
    // Resets the model to search rows (search mode while there are rows).
    void setSearchResults(const QList<PstSearchResult>& rows, const QStringList& terms);
    const QList<PstSearchResult>& searchRows() const { return m_rows; }
    bool isSearchMode() const { return !m_rows.isEmpty(); }
    // The row's live item (null for index rows).
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
    void clearRows();  // rows, search state and sort keys
    QVariant itemData(const PstItem& item, int role) const;
    QVariant recordData(const PstSearchResult& row, int role) const;
    QString snippet(int row) const;

    QList<std::shared_ptr<PstItem>> m_items;
    QList<PstSearchResult> m_rows;
    QList<QStringList> m_matchedNames;  // per search row
    QStringList m_terms;
    mutable QHash<int, QString> m_snippets;
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
