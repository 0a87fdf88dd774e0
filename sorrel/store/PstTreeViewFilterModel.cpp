#include "sorrel/store/PstTreeViewFilterModel.h"

#include "sorrel/store/PstTreeModel.h"

PstTreeViewFilterModel::PstTreeViewFilterModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setSortLocaleAware(true);
    setDynamicSortFilter(true);
    sort(0, Qt::AscendingOrder);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
}

bool PstTreeViewFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const QString l = left.data(sortRole()).toString();
    const QString r = right.data(sortRole()).toString();
    const int byCollator = m_collator.compare(l, r);
    if (byCollator != 0)
        return byCollator < 0;
    const int folded = l.compare(r, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : l < r;
}

void PstTreeViewFilterModel::setHideEmptyFolders(bool hide)
{
    if (m_hideEmpty == hide)
        return;
    m_hideEmpty = hide;
    invalidateFilter();
}

bool PstTreeViewFilterModel::acceptsFolder(const PstFolderItem* folder)
{
    if (!folder || folder->itemCount() > 0)
        return true;
    if (!folder->isLoaded() && folder->childLoader())
        return true;
    for (const auto& sub : folder->subfolders()) {
        if (acceptsFolder(sub.get()))
            return true;
    }
    return false;
}

bool PstTreeViewFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!m_hideEmpty)
        return true;
    const auto* tree = qobject_cast<const PstTreeModel*>(sourceModel());
    if (!tree)
        return true;
    const QModelIndex index = tree->index(sourceRow, 0, sourceParent);
    return acceptsFolder(index.isValid() ? tree->folderAt(index) : nullptr);
}
