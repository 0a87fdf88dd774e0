#pragma once
// Sorts the folder tree by label (case-insensitive, locale-aware) at every
// level and, for the export dialog, can hide folders that hold nothing.

#include <QCollator>
#include <QSortFilterProxyModel>

class PstFolderItem;

class PstTreeViewFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit PstTreeViewFilterModel(QObject* parent = nullptr);

    bool hideEmptyFolders() const { return m_hideEmpty; }
    void setHideEmptyFolders(bool hide);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    // Qt's locale-aware comparison ignores the case setting; a collator keeps both.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    static bool acceptsFolder(const PstFolderItem* folder);

    QCollator m_collator;
    bool m_hideEmpty = false;
};
