// PstTreeController: the background loading of all items into the prebuilt
// forest, its adoption by the tree, and the search scope taken from the
// tree selection.

#include "sorrel/store/PstTreeController.h"

#include "common/Log.h"
#include "sorrel/search/PstSearchIndexProgress.h"
#include "sorrel/search/PstSearchRecords.h"
#include "sorrel/search/PstThreadPriority.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTreeView>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QString absolutePathOf(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

// Runs on the controller's pool: every file in order, each walked into its
// forest with its index built on the way. Stops between descriptors once
// cancel is set.
PstAllItemsResult loadAllItems(const QList<PstSearchDocument>& files,
                               const std::shared_ptr<PstSearchIndexProgress>& progress, const PstCancelFlag& cancel)
{
    const PstLowestThreadPriority lowest;
    PstAllItemsResult result;
    PstSearchIndexProgress* emitter = progress.get();
    for (const PstSearchDocument& file : files) {
        if (isCancelled(cancel))
            break;
        PstSearchLoad load;
        load.cancel = cancel;
        load.announce = [emitter](bool usable) {
            if (usable)
                emit emitter->loadingStarted();
            else
                emit emitter->started();
        };
        load.progress = [emitter](int done, int total) { emit emitter->changed(done, total); };
        PstSearchLoadResult loaded = pstLoadForSearch(file, load);
        if (isCancelled(cancel))
            break;
        if (loaded.forest.root)
            loaded.forest.root->setFolderIndex(loaded.forest.folderIndex);
        result.roots.append(loaded.forest.root);
        result.folderIndexes.append(loaded.forest.folderIndex);
        result.allItems.append(loaded.forest.items);
    }
    return result;
}

} // namespace

void PstTreeController::setupBackground()
{
    m_cancel = makeCancelFlag();
    m_pool = new QThreadPool(this);
    m_pool->setMaxThreadCount(1);
    m_pool->setExpiryTimeout(60000);
    m_progress = std::make_shared<PstSearchIndexProgress>();
    connect(m_progress.get(), &PstSearchIndexProgress::changed, this, &PstTreeController::searchIndexProgressChanged,
            Qt::QueuedConnection);
    connect(m_progress.get(), &PstSearchIndexProgress::started, this, &PstTreeController::searchIndexPreparing,
            Qt::QueuedConnection);
    connect(m_progress.get(), &PstSearchIndexProgress::loadingStarted, this,
            &PstTreeController::allItemsLoadingStarted, Qt::QueuedConnection);
    m_allItemsWatcher = new QFutureWatcher<PstAllItemsResult>(this);
    connect(m_allItemsWatcher, &QFutureWatcherBase::finished, this, &PstTreeController::onAllItemsLoaded);
}

void PstTreeController::shutdownBackground()
{
    m_cancel->store(true);
    m_pool->waitForDone();
    m_forestRoots.clear();
    m_allItems.clear();
}

void PstTreeController::filesChanged()
{
    m_dirty = true;
    m_allItems.clear();
    if (m_backgroundEnabled)
        loadAllItemsCacheAsync();
}

void PstTreeController::setBackgroundEnabled(bool enabled)
{
    m_backgroundEnabled = enabled;
    if (!enabled) {
        m_dirty = true;
        m_allItems.clear();
        m_forestRoots.clear();
    }
}

void PstTreeController::loadAllItemsCacheAsync()
{
    ++m_generation;
    const QList<PstFolderItemPtr> files = m_model->fileNodes();
    if (files.isEmpty()) {
        m_rerunRequested = false;
        if (!m_running) {
            m_dirty = false;
            m_forestRoots.clear();
            emit allItemsReady();
        }
        return;
    }
    if (m_running) {
        m_rerunRequested = true;
        return;
    }
    QList<PstSearchDocument> documents;
    for (const PstFolderItemPtr& node : files)
        documents.append({node->filePath(), node->handle()});
    m_runGeneration = m_generation;
    m_rerunRequested = false;
    m_running = true;
    m_allItemsWatcher->setFuture(QtConcurrent::run(m_pool, loadAllItems, documents, m_progress, m_cancel));
}

void PstTreeController::onAllItemsLoaded()
{
    QElapsedTimer timer;
    timer.start();
    const QFuture<PstAllItemsResult> future = m_allItemsWatcher->future();
    PstAllItemsResult result = future.resultCount() > 0 ? future.result() : PstAllItemsResult();
    m_running = false;
    emit searchIndexBuildFinished();

    const bool current = m_runGeneration == m_generation;
    if (current) {
        m_allItems = std::move(result.allItems);
        m_forestRoots = std::move(result.roots);
        m_dirty = false;
        const bool adopted = adoptForest();
        const QList<PstFolderItemPtr> nodes = m_model->fileNodes();
        for (int i = 0; i < nodes.size() && i < result.folderIndexes.size(); ++i)
            nodes[i]->setFolderIndex(result.folderIndexes[i]);
        if (!adopted)
            m_model->refreshLabels();
    }
    if (m_rerunRequested || !current) {
        m_rerunRequested = false;
        loadAllItemsCacheAsync();
    }
    mw::logInfo(QStringLiteral("[profile] 后台那趟的界面侧收尾：%1 ms").arg(timer.elapsed()));
    if (current && !m_dirty)
        emit allItemsReady();
}

bool PstTreeController::adoptForest()
{
    if (!m_backgroundEnabled || m_forestRoots.isEmpty())
        return false;
    const QList<PstFolderItemPtr> nodes = m_model->fileNodes();
    QList<PstFolderItemPtr> picked;
    bool replaced = false;
    for (const PstFolderItemPtr& node : nodes) {
        PstFolderItemPtr pick = node;
        const QString path = absolutePathOf(node->filePath());
        for (const PstFolderItemPtr& root : m_forestRoots) {
            if (root && absolutePathOf(root->filePath()) == path) {
                pick = root;
                break;
            }
        }
        replaced = replaced || pick != node;
        picked.append(pick);
    }
    if (!replaced)
        return false;
    const QStringList expanded = expandedKeys();
    const QString current = currentKey();
    m_model->resetFiles(picked);
    applyKeys(expanded, current, false);
    mw::logInfo(QStringLiteral("[profile] 已把后台森林接到界面树上（%1 个文件根），此后展开文件夹不再解析")
                    .arg(picked.size()));
    emit forestAdopted();
    return true;
}

PstFolderItemPtr PstTreeController::prebuiltTreeFor(const QString& path) const
{
    if (path.isEmpty() || m_dirty)
        return {};
    const QString wanted = absolutePathOf(path);
    for (const PstFolderItemPtr& root : m_forestRoots) {
        if (root && absolutePathOf(root->filePath()) == wanted)
            return root;
    }
    return {};
}

QList<std::shared_ptr<PstItem>> PstTreeController::allItemsNow() const
{
    return m_dirty ? QList<std::shared_ptr<PstItem>>() : m_allItems;
}

PstFolderItemPtr PstTreeController::forestNodeFor(const QString& filePath, const QList<uint64_t>& idPath) const
{
    PstFolderItemPtr node = prebuiltTreeFor(filePath);
    for (uint64_t id : idPath) {
        if (!node)
            break;
        node = node->subfolderById(id);
    }
    return node;
}

void PstTreeController::reselectCurrent()
{
    if (!m_view)
        return;
    const QString key = currentKey();
    const QModelIndex source = key.isEmpty() ? QModelIndex() : m_model->indexForKey(key);
    if (!source.isValid())
        return;
    forgetLastPressed();
    onPressed(m_proxy->mapFromSource(source));
}

void PstTreeController::collectItems(const PstFolderItemPtr& folder, QList<std::shared_ptr<PstItem>>& items)
{
    items.append(folder->items());
    for (const PstFolderItemPtr& sub : folder->subfolders())
        collectItems(sub, items);
}

PstSearchRequest PstTreeController::searchRequestTemplate() const
{
    PstSearchRequest request;
    for (const PstFolderItemPtr& node : m_model->fileNodes()) {
        if (!node->filePath().isEmpty())
            request.requestedFiles.append(absolutePathOf(node->filePath()));
    }
    const QModelIndex source = m_view ? m_proxy->mapToSource(m_view->currentIndex()) : QModelIndex();
    PstFolderItem* folder = source.isValid() ? m_model->folderAt(source) : nullptr;
    const PstFolderItemPtr file = folder ? folder->fileNode() : PstFolderItemPtr();
    if (!folder || !file) {
        request.scopeKind = 0;
        request.scopeItems = allItemsNow();
        return request;
    }
    const QString filePath = absolutePathOf(file->filePath());
    const QList<uint64_t> idPath = folder->idPath();
    request.requestedFiles = {filePath};
    request.scopeName = folder->name();
    request.scopeKind = idPath.isEmpty() ? 1 : 2;
    if (!idPath.isEmpty()) {
        request.scopeFile = filePath;
        for (uint64_t id : idPath)
            request.scopeFolderPath.append(qint64(id));
    }
    if (const PstFolderItemPtr node = forestNodeFor(filePath, idPath))
        collectItems(node, request.scopeItems);
    return request;
}
