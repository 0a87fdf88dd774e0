#include "sorrel/store/PstTreeController.h"

#include "common/Log.h"
#include "common/Platform.h"
#include "sorrel/store/PSTTreeView.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QMenu>
#include <QThreadPool>
#include <QTreeView>
#include <QtConcurrent/QtConcurrentRun>

static void initTreeResources() { Q_INIT_RESOURCE(sorrel_tree); }

namespace {

// Runs on a pool thread: opens and parses one file; null when either fails.
PstFolderItemPtr openAndParse(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    PstFolderItemPtr fileNode;
    PstDocument document;
    if (document.open(path)) {
        fileNode = document.parse(path);
        mw::logInfo(QStringLiteral("[profile] worker total for %1: %2 ms").arg(path).arg(timer.elapsed()));
    }
    return fileNode;
}

QString absolutePathOf(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

} // namespace

PstTreeController::PstTreeController(QTreeView* view, QObject* parent)
    : QObject(parent), m_view(view)
{
    initTreeResources();
    m_model = new PstTreeModel(std::make_shared<PstFolderItem>(), this);
    m_proxy = new PstTreeViewFilterModel(this);
    m_proxy->setSourceModel(m_model);

    if (m_view) {
        m_view->setModel(m_proxy);
        m_view->setHeaderHidden(true);
        m_view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_view, &QAbstractItemView::pressed, this, &PstTreeController::onPressed);
        // Moving through the tree with the keyboard shows each folder as a click does.
        if (auto* tree = qobject_cast<PSTTreeView*>(m_view))
            connect(tree, &PSTTreeView::currentChosenByKey, this, &PstTreeController::onPressed);
        connect(m_view, &QWidget::customContextMenuRequested, this, &PstTreeController::onContextMenuRequested);
    }

    // Parentless: the view may go before the controller.
    m_contextMenu = new QMenu;
#ifdef Q_OS_WIN
    m_actShowInExplorer = m_contextMenu->addAction(tr("Show in Explorer"));
#else
    m_actShowInExplorer = m_contextMenu->addAction(tr("Show in File Manager"));
#endif
    m_contextMenu->addSeparator();
    m_actCloseFile = m_contextMenu->addAction(tr("Close file"));
    connect(m_actShowInExplorer, &QAction::triggered, this, [this] {
        mw::logInfo(QStringLiteral("Click the menu item to open the file path."));
        const QString path = m_menuIndex.data(PstTreeModel::FilePathRole).toString();
        if (!path.isEmpty())
            Platform::revealInFileManager(path);
    });
    connect(m_actCloseFile, &QAction::triggered, this, [this] {
        mw::logInfo(QStringLiteral("Click the menu item to close the document."));
        closeFile(m_menuIndex);
    });
    setupBackground();
}

PstTreeController::~PstTreeController()
{
    shutdownBackground();
    delete m_contextMenu;
}

int PstTreeController::fileCount() const { return m_model->rowCount(); }

// ---------------------------------------------------------------- open queue

void PstTreeController::openFile(const QString& path)
{
    const QFileInfo info(path);
    QString key = info.canonicalFilePath();
    if (key.isEmpty())
        key = path.isEmpty() ? QString() : info.absoluteFilePath();
    if (key.isEmpty())
        return;
    for (const auto& node : m_model->fileNodes()) {
        if (absolutePathOf(node->filePath()) == key)
            return;
    }
    if (key == m_currentPath || m_pendingPaths.contains(key))
        return;

    m_pendingPaths.append(key);
    if (!m_busy) {
        m_busy = true;
        emit loadingStarted();
        startNextOpen();
    }
}

void PstTreeController::startNextOpen()
{
    if (m_pendingPaths.isEmpty())
        return;
    m_currentPath = m_pendingPaths.takeFirst();
    emit pstFileOpening(m_currentPath);
    if (!m_openWatcher) {
        m_openWatcher = new QFutureWatcher<PstFolderItemPtr>(this);
        connect(m_openWatcher, &QFutureWatcherBase::finished, this, &PstTreeController::onOpenFinished);
    }
    m_openWatcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), openAndParse, m_currentPath));
}

void PstTreeController::onOpenFinished()
{
    const QFuture<PstFolderItemPtr> future = m_openWatcher->future();
    const PstFolderItemPtr fileNode = future.resultCount() > 0 ? future.result() : PstFolderItemPtr();
    const QString path = m_currentPath;

    if (fileNode) {
        addFileNode(fileNode);
        emit pstFileOpened(path);
    } else {
        emit openPstFailed(path);
    }

    m_currentPath.clear();
    if (!m_pendingPaths.isEmpty()) {
        startNextOpen();
    } else {
        m_busy = false;
        emit loadingFinished();
        emit openQueueFinished();
    }
}

QStringList PstTreeController::sessionFiles() const
{
    QStringList files;
    for (const auto& node : m_model->fileNodes()) {
        if (node->filePath().isEmpty())
            continue;
        const QString path = absolutePathOf(node->filePath());
        if (!files.contains(path))
            files << path;
    }
    if (!m_currentPath.isEmpty() && !files.contains(m_currentPath))
        files << m_currentPath;
    for (const QString& path : m_pendingPaths) {
        if (!files.contains(path))
            files << path;
    }
    return files;
}

void PstTreeController::addFileNode(const PstFolderItemPtr& fileNode)
{
    if (!fileNode)
        return;
    m_model->appendFile(fileNode);
    filesChanged();
    const int count = fileCount();
    emit pstTreeViewRowChanged(count);
    if (m_view) {
        const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(fileNode.get()));
        if (count == 1)
            m_view->setCurrentIndex(index);
        m_view->expand(index);
    }
}

PstFileHandle PstTreeController::documentForPath(const QString& path) const
{
    const QString wanted = absolutePathOf(path);
    for (const auto& node : m_model->fileNodes()) {
        if (absolutePathOf(node->filePath()) == wanted)
            return node->handle();
    }
    return {};
}

// ------------------------------------------------------------ tree operations

void PstTreeController::onPressed(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const PressedIndex pressed{index.row(), index.column(), index.internalPointer(), index.model()};
    if (pressed.row == m_lastPressed.row && pressed.column == m_lastPressed.column
        && pressed.pointer == m_lastPressed.pointer && pressed.model == m_lastPressed.model)
        return;
    m_lastPressed = pressed;

    const QModelIndex source = index.model() == m_proxy ? m_proxy->mapToSource(index) : index;
    PstFolderItem* folder = source.isValid() && source.model() == m_model ? m_model->folderAt(source) : nullptr;
    if (!folder) {
        emit folderSelected({});
        return;
    }
    if (!folder->isLoaded() && folder->childLoader()) {
        QElapsedTimer timer;
        timer.start();
        m_model->fetchMore(source);
        mw::logInfo(QStringLiteral("[profile] 点开文件夹「%1」：条目 %2 + 子文件夹 %3，这一遍解析 %4 ms（后台那趟已就绪=%5）")
                        .arg(folder->name())
                        .arg(folder->itemCount())
                        .arg(folder->subfolders().size())
                        .arg(timer.elapsed())
                        .arg(m_dirty ? QStringLiteral("否") : QStringLiteral("是")));
    }
    folder->loadChildren();
    emit folderSelected(folder->items());
}

PstFolderItemPtr PstTreeController::currentFileNode() const
{
    if (!m_view)
        return {};
    const QModelIndex source = m_proxy->mapToSource(m_view->currentIndex());
    if (!source.isValid())
        return {};
    return m_model->folderAt(source)->fileNode();
}

QString PstTreeController::currentKey() const
{
    if (!m_view)
        return {};
    const QModelIndex source = m_proxy->mapToSource(m_view->currentIndex());
    return source.isValid() ? m_model->pathKey(m_model->folderAt(source)) : QString();
}

QStringList PstTreeController::expandedKeys() const
{
    QStringList keys;
    if (!m_view)
        return keys;
    QList<QModelIndex> pending{QModelIndex()};
    while (!pending.isEmpty()) {
        const QModelIndex parent = pending.takeFirst();
        const int rows = m_proxy->rowCount(parent);
        for (int r = 0; r < rows; ++r) {
            const QModelIndex child = m_proxy->index(r, 0, parent);
            if (!m_view->isExpanded(child))
                continue;
            keys.append(m_model->pathKey(m_model->folderAt(m_proxy->mapToSource(child))));
            pending.append(child);
        }
    }
    return keys;
}

void PstTreeController::applyKeys(const QStringList& expanded, const QString& current, bool announce)
{
    if (!m_view)
        return;
    m_view->collapseAll();
    for (const QString& key : expanded) {
        const QModelIndex source = m_model->indexForKey(key);
        if (source.isValid())
            m_view->expand(m_proxy->mapFromSource(source));
    }
    const QModelIndex source = current.isEmpty() ? QModelIndex() : m_model->indexForKey(current);
    if (!source.isValid())
        return;
    const QModelIndex index = m_proxy->mapFromSource(source);
    forgetLastPressed();
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index, QAbstractItemView::EnsureVisible);
    if (announce)
        onPressed(index);
}

QModelIndex PstTreeController::indexForKey(const QString& key) { return m_model->indexForKey(key); }

void PstTreeController::selectSourceIndex(const QModelIndex& source)
{
    if (!m_view || !source.isValid())
        return;
    const QModelIndex index = m_proxy->mapFromSource(source);
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        m_view->expand(up);
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void PstTreeController::revealItem(const std::shared_ptr<PstItem>& item)
{
    if (!item)
        return;
    std::shared_ptr<PstFolderItem> folder = std::dynamic_pointer_cast<PstFolderItem>(item);
    if (!folder)
        folder = std::dynamic_pointer_cast<PstFolderItem>(item->parent());
    if (!folder)
        return;
    QModelIndex source = m_model->indexOf(folder.get());
    if (!source.isValid()) {
        const PstFolderItemPtr file = folder->fileNode();
        if (file)
            source = m_model->indexForKey(PstTreeModel::pathKey(file->filePath(), folder->idPath()));
    }
    selectSourceIndex(source);
}

void PstTreeController::selectFolder(const QString& filePath, const QList<uint64_t>& idPath)
{
    selectSourceIndex(m_model->indexForKey(PstTreeModel::pathKey(filePath, idPath)));
}

void PstTreeController::setHideEmptyFolders(bool hide) { m_proxy->setHideEmptyFolders(hide); }

// ---------------------------------------------------------- context menu

QMenu* PstTreeController::contextMenuAt(const QPoint& pos)
{
    if (!m_view)
        return nullptr;
    const QModelIndex index = m_view->indexAt(pos);
    if (!index.isValid() || index.parent().isValid())
        return nullptr;
    m_menuIndex = index;
    return m_contextMenu;
}

void PstTreeController::onContextMenuRequested(const QPoint& pos)
{
    if (QMenu* menu = contextMenuAt(pos))
        menu->exec(m_view->viewport()->mapToGlobal(pos));
}

void PstTreeController::closeFile(const QModelIndex& proxyIndex)
{
    if (!proxyIndex.isValid() || proxyIndex.model() != m_proxy || proxyIndex.parent().isValid())
        return;
    const QString path = absolutePathOf(proxyIndex.data(PstTreeModel::FilePathRole).toString());
    forgetLastPressed();
    m_model->removeRow(m_proxy->mapToSource(proxyIndex));
    filesChanged();
    emit pstTreeViewRowChanged(fileCount());
    emit pstFileClosed(path);
}
