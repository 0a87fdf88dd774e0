#include "sorrel/store/PstTreeModel.h"

#include "sorrel/store/PstFolderIndex.h"

#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <QUrl>

namespace {

bool isLoadedFolder(const PstFolderItem* folder)
{
    return folder->isLoaded() || !folder->childLoader();
}

int rowIn(const PstFolderItem* parent, const PstFolderItem* child)
{
    const auto& subs = parent->subfolders();
    for (int i = 0; i < subs.size(); ++i) {
        if (subs[i].get() == child)
            return i;
    }
    return -1;
}

PstFolderItem* parentFolder(const PstFolderItem* folder)
{
    return dynamic_cast<PstFolderItem*>(folder->parent().get());
}

} // namespace

PstTreeModel::PstTreeModel(PstFolderItemPtr root, QObject* parent)
    : QAbstractItemModel(parent), m_root(root ? std::move(root) : std::make_shared<PstFolderItem>())
{
}

PstFolderItem* PstTreeModel::folderAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return m_root.get();
    return static_cast<PstFolderItem*>(index.internalPointer());
}

QModelIndex PstTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    PstFolderItem* p = folderAt(parent);
    if (!p || row >= p->subfolders().size())
        return {};
    return createIndex(row, column, p->subfolders()[row].get());
}

QModelIndex PstTreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    PstFolderItem* p = parentFolder(folderAt(index));
    if (!p || p == m_root.get())
        return {};
    PstFolderItem* grand = parentFolder(p);
    if (!grand)
        return {};
    const int row = rowIn(grand, p);
    return row < 0 ? QModelIndex() : createIndex(row, 0, p);
}

int PstTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    PstFolderItem* p = folderAt(parent);
    return p ? int(p->subfolders().size()) : 0;
}

int PstTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant PstTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    PstFolderItem* folder = folderAt(index);
    switch (role) {
    case Qt::DisplayRole:
        return folder->name() + folder->countSuffix();
    case Qt::DecorationRole:
        return QIcon(folder->iconPath());
    case Qt::ToolTipRole:
        // Damaged descriptors left out of the folder are told here, not hidden.
        if (const QString damaged = folder->damagedText(); !damaged.isEmpty())
            return damaged;
        return {};
    case FilePathRole:
        return folder->filePath();
    default:
        return {};
    }
}

bool PstTreeModel::guessHasChildren(PstFolderItem* folder) const
{
    if (PstFolderItemPtr file = folder->fileNode()) {
        if (const auto& stats = file->folderIndex())
            return stats->foldersWithSubfolders.contains(folder->id());
    }
    if (pst_desc_tree* d = folder->node())
        return d->no_child > 0;
    return true;
}

bool PstTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return false;
    PstFolderItem* folder = folderAt(parent);
    if (!folder)
        return false;
    if (folder == m_root.get() || isLoadedFolder(folder))
        return !folder->subfolders().isEmpty();
    return guessHasChildren(folder);
}

bool PstTreeModel::canFetchMore(const QModelIndex& parent) const
{
    PstFolderItem* folder = folderAt(parent);
    if (!folder || folder == m_root.get() || isLoadedFolder(folder))
        return false;
    return guessHasChildren(folder);
}

void PstTreeModel::fetchMore(const QModelIndex& parent)
{
    PstFolderItem* folder = folderAt(parent);
    if (!folder || folder == m_root.get() || folder->isLoaded())
        return;
    // Load into side lists first: the new rows may only become visible
    // between beginInsertRows and endInsertRows (proxies count rows when the
    // insertion is announced).
    folder->setLoaded(true);
    QList<PstFolderItemPtr> subfolders;
    QList<std::shared_ptr<PstItem>> items;
    if (const auto& loader = folder->childLoader())
        loader(*folder, subfolders, items);
    subfolders.removeAll(nullptr);
    if (!subfolders.isEmpty()) {
        const int first = int(folder->subfolders().size());
        beginInsertRows(parent, first, first + int(subfolders.size()) - 1);
        for (auto& sub : subfolders)
            folder->addSubfolder(std::move(sub));
        endInsertRows();
    }
    for (auto& item : items)
        folder->addItem(std::move(item));
    if (parent.isValid() && !items.isEmpty())
        emit dataChanged(parent, parent, {Qt::DisplayRole});
}

QModelIndex PstTreeModel::indexOf(const PstFolderItem* folder) const
{
    if (!folder || folder == m_root.get())
        return {};
    PstFolderItem* p = parentFolder(folder);
    if (!p)
        return {};
    const int row = rowIn(p, folder);
    if (row < 0)
        return {};
    if (p != m_root.get() && !indexOf(p).isValid())
        return {};
    return createIndex(row, 0, const_cast<PstFolderItem*>(folder));
}

void PstTreeModel::appendFile(const PstFolderItemPtr& fileNode)
{
    if (!fileNode)
        return;
    const int row = int(m_root->subfolders().size());
    beginInsertRows({}, row, row);
    m_root->addSubfolder(fileNode);
    endInsertRows();
}

void PstTreeModel::removeRow(const QModelIndex& index)
{
    if (!index.isValid() || index.model() != this)
        return;
    const QModelIndex p = parent(index);
    PstFolderItem* owner = folderAt(p);
    beginRemoveRows(p, index.row(), index.row());
    owner->removeChild(index.row());
    endRemoveRows();
}

void PstTreeModel::resetFiles(const QList<PstFolderItemPtr>& fileNodes)
{
    beginResetModel();
    // A fresh root: the old file nodes leave with the old one.
    m_root = std::make_shared<PstFolderItem>();
    for (const auto& node : fileNodes) {
        if (node)
            m_root->addSubfolder(node);
    }
    endResetModel();
}

void PstTreeModel::refreshLabelsBelow(const QModelIndex& parent)
{
    const int rows = rowCount(parent);
    if (rows == 0)
        return;
    emit dataChanged(index(0, 0, parent), index(rows - 1, 0, parent), {Qt::DisplayRole});
    for (int r = 0; r < rows; ++r)
        refreshLabelsBelow(index(r, 0, parent));
}

void PstTreeModel::refreshLabels() { refreshLabelsBelow({}); }

QString PstTreeModel::pathKey(const QString& filePath, const QList<uint64_t>& idPath)
{
    if (filePath.isEmpty())
        return {};
    QString key = QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(filePath).absoluteFilePath()));
    key += QLatin1Char('|');
    QStringList ids;
    ids.reserve(idPath.size());
    for (uint64_t id : idPath)
        ids.append(QString::number(id));
    return key + ids.join(QLatin1Char('/'));
}

QString PstTreeModel::pathKey(PstFolderItem* folder) const
{
    if (!folder || folder == m_root.get())
        return {};
    PstFolderItemPtr file = folder->fileNode();
    if (!file || file.get() == m_root.get())
        return {};
    return pathKey(file->filePath(), folder->idPath());
}

QModelIndex PstTreeModel::indexForKey(const QString& key)
{
    const int bar = key.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        // Older form: row numbers counted from the root.
        QModelIndex at;
        const QStringList parts = key.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            bool ok = false;
            const int row = part.toInt(&ok);
            if (!ok || row < 0)
                return {};
            if (canFetchMore(at))
                fetchMore(at);
            at = index(row, 0, at);
            if (!at.isValid())
                return {};
        }
        return at;
    }

    const QString path = QUrl::fromPercentEncoding(key.left(bar).toLatin1());
    QModelIndex at;
    const auto& files = m_root->subfolders();
    for (int row = 0; row < files.size(); ++row) {
        if (QFileInfo(files[row]->filePath()).absoluteFilePath() == path) {
            at = index(row, 0);
            break;
        }
    }
    if (!at.isValid())
        return {};

    const QStringList parts = key.mid(bar + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const quint64 id = part.toULongLong(&ok);
        if (!ok)
            break;
        fetchMore(at);
        PstFolderItem* folder = folderAt(at);
        QModelIndex next;
        const auto& subs = folder->subfolders();
        for (int row = 0; row < subs.size(); ++row) {
            if (subs[row]->id() == id) {
                next = index(row, 0, at);
                break;
            }
        }
        if (!next.isValid())
            return {};
        at = next;
    }
    return at;
}
