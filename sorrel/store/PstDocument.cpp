#include "sorrel/store/PstDocument.h"

#include "common/Log.h"
#include "sorrel/store/PstBTreeLoader.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstFolderChildren.h"
#include "sorrel/store/PstIndexCache.h"
#include "sorrel/store/PstSafeParse.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cstring>

namespace {
// Deeper folder chains are damage (or a loop in the descriptor tree).
constexpr qsizetype kMaxFolderDepth = 1000;
} // namespace

PstDocument::PstDocument() : m_handle(makePstFileHandle()) {}

QString PstDocument::failureText(Failure failure)
{
    switch (failure) {
    case Failure::None:
        break;
    case Failure::Open:
        return QStringLiteral("pst_open");
    case Failure::Index:
        return QStringLiteral("index");
    case Failure::ExtendedAttributes:
        return QStringLiteral("extended attributes");
    case Failure::NoFolders:
        return QStringLiteral("no folders");
    }
    return {};
}

void PstDocument::fail(Failure failure, const QString& warning)
{
    mw::logWarning(warning);
    m_failure = failure;
    m_handle.reset();
}

bool PstDocument::open(const QString& path)
{
    m_failure = Failure::None;
    if (!m_handle)
        m_handle = makePstFileHandle();
    bool fromCache = false;
    if (openOnce(path, true, fromCache))
        return true;
    if (!fromCache || m_failure != Failure::ExtendedAttributes)
        return false;
    // A cache that passed its checks but does not describe the file (it was
    // damaged in a way the checks cannot see) must not lock the file out:
    // drop it and read the index from the file once more.
    mw::logInfo(QStringLiteral("Pst index cache does not fit the file; reading the index again."));
    QFile::remove(PstIndexCache::cachePathFor(path));
    m_failure = Failure::None;
    m_handle = makePstFileHandle();
    return openOnce(path, false, fromCache);
}

bool PstDocument::openOnce(const QString& path, bool useCache, bool& fromCache)
{
    fromCache = false;
    if (!m_handle) {
        m_failure = Failure::Open;
        return false;
    }
    pst_file* pf = m_handle.get();
    QElapsedTimer total;
    total.start();
    {
        QMutexLocker lock(&pstLibraryMutex());
        if (pst_open(pf, QFile::encodeName(path).constData(), nullptr) != 0) {
            // A rejected file may leave its stream closed but still set; the
            // half-filled structure must not reach pst_close (a double
            // fclose). Forgetting it leaks at most the name strings.
            std::memset(pf, 0, sizeof(pst_file));
            lock.unlock();
            fail(Failure::Open, QStringLiteral("Failed to open, pst_open error."));
            return false;
        }
    }

    PstIndexCache::pruneCacheFiles();
    const QString cachePath = PstIndexCache::cachePathFor(path);
    QElapsedTimer cacheTimer;
    if (useCache && !cachePath.isEmpty()) {
        cacheTimer.start();
        QMutexLocker lock(&pstLibraryMutex());
        fromCache = PstIndexCache::loadIndexCache(pf, cachePath) == 0;
    }
    if (!fromCache) {
        QElapsedTimer indexTimer;
        indexTimer.start();
        PstBTreeReport report;
        PstBTreeResult loaded = PstBTreeResult::Unreadable;
        {
            QMutexLocker lock(&pstLibraryMutex());
            loaded = pstLoadBTrees(pf, &report);
        }
        if (loaded == PstBTreeResult::Unreadable) {
            // Only a file our reader could not read at all goes to libpst's
            // own walk; one it found damaged never does.
            mw::logInfo(QStringLiteral("Pst index not readable by the b-tree reader (%1); trying pst_load_index.")
                            .arg(report.firstProblem.isEmpty() ? QStringLiteral("unsupported") : report.firstProblem));
            QMutexLocker lock(&pstLibraryMutex());
            if (pst_load_index(pf) != 0) {
                lock.unlock();
                fail(Failure::Index, QStringLiteral("Failed to open, pst_load_index error."));
                return false;
            }
        } else {
            if (loaded == PstBTreeResult::Damaged)
                mw::logWarning(QStringLiteral("Damaged pst index, opening what could be read: %1").arg(report.summary()));
            mw::logInfo(QStringLiteral("[profile] pst index from file: %1 ms, %2 blocks, %3 descriptors")
                            .arg(indexTimer.elapsed())
                            .arg(report.blocks)
                            .arg(report.descriptors));
            if (!report.descriptors) {
                fail(Failure::Index, QStringLiteral("Failed to open, pst_load_index error."));
                return false;
            }
        }
        QMutexLocker lock(&pstLibraryMutex());
        pstIndexDescriptors(pf);
        // A damaged file is read again at every open, so that the damage is
        // reported each time rather than hidden behind a cache.
        if (loaded != PstBTreeResult::Damaged && !cachePath.isEmpty()
            && PstIndexCache::saveIndexCache(pf, cachePath) != 0) {
            lock.unlock();
            mw::logWarning(QStringLiteral("Failed to save pst index cache (ignored)."));
        }
    } else {
        PstIndexCache::touchCacheFile(cachePath);
        mw::logInfo(QStringLiteral("[profile] pst index from cache: %1 ms").arg(cacheTimer.elapsed()));
    }

    PstNameMapResult attributes = PstNameMapResult::Failed;
    {
        QMutexLocker lock(&pstLibraryMutex());
        attributes = pstLoadExtendedAttributesChecked(pf);
    }
    if (attributes == PstNameMapResult::Damaged)
        mw::logWarning(QStringLiteral("The name-to-id map is damaged; the file opens without named properties."));
    if (attributes == PstNameMapResult::Failed) {
        if (fromCache) { // open() tries once more without the cache
            m_failure = Failure::ExtendedAttributes;
            m_handle.reset();
        } else {
            fail(Failure::ExtendedAttributes, QStringLiteral("Failed to open, pst_load_extended_attributes error."));
        }
        return false;
    }
    m_path = path;
    mw::logInfo(QStringLiteral("Open file completed"));
    mw::logInfo(QStringLiteral("[profile] pst_open+index: %1 ms").arg(total.elapsed()));
    return true;
}

PstFolderItemPtr PstDocument::parse(const QString& path)
{
    if (!m_handle)
        return {};
    QElapsedTimer timer;
    timer.start();
    mw::logInfo(QStringLiteral("Start parsing PST document."));

    auto fileNode = std::make_shared<PstFolderItem>();
    fileNode->setDepth(0);
    fileNode->setName(QFileInfo(path).fileName());
    fileNode->setFilePath(path);
    fileNode->setDocument(m_handle);

    pst_file* pf = m_handle.get();
    if (!pf->d_head) {
        fail(Failure::NoFolders, QStringLiteral("Parsing failed, invalid PST header."));
        return {};
    }
    pst_item* root = nullptr;
    pst_desc_tree* top = nullptr;
    {
        QMutexLocker lock(&pstLibraryMutex());
        root = pstParseItemChecked(pf, pf->d_head);
    }
    {
        QMutexLocker lock(&pstLibraryMutex());
        top = pstTopOfFolders(pf, root);
    }
    {
        QMutexLocker lock(&pstLibraryMutex());
        pst_freeItem(root);
    }
    if (!top) {
        fail(Failure::NoFolders, QStringLiteral("Parsing failed, top of folders not found."));
        return {};
    }

    fileNode->setId(top->parent_d_id);
    fileNode->setDescriptor(top);
    fileNode->setChildLoader(pstLoadFolderChildren);
    fileNode->loadChildren();
    mw::logInfo(QStringLiteral("Parsed Pst document completed."));
    mw::logInfo(QStringLiteral("[profile] parse skeleton: %1 ms, top folders=%2")
                    .arg(timer.elapsed())
                    .arg(fileNode->subfolders().size()));
    return fileNode;
}

void pstLoadFolderChildren(PstFolderItem& folder, QList<PstFolderItemPtr>& subfolders,
                           QList<std::shared_ptr<PstItem>>& items)
{
    pst_desc_tree* node = folder.descriptor();
    if (!node)
        return;
    const PstFileHandle handle = folder.document();
    if (!handle)
        return;
    pst_file* pf = handle.get();
    {
        QMutexLocker lock(&pstLibraryMutex());
        if (folder.depth() != 0)
            node = node->child;
    }
    int damaged = 0;
    while (node) {
        PstFolderChild child = pstReadFolderChild(pf, node, folder);
        {
            QMutexLocker lock(&pstLibraryMutex());
            node = node->next;
        }
        switch (child.outcome) {
        case PstChildOutcome::Item:
            items.append(std::move(child.record));
            break;
        case PstChildOutcome::Folder: {
            auto sub = std::static_pointer_cast<PstFolderItem>(child.record);
            sub->setChildLoader(pstLoadFolderChildren);
            subfolders.append(std::move(sub));
            break;
        }
        case PstChildOutcome::Damaged:
            ++damaged;
            break;
        case PstChildOutcome::NotShown:
        case PstChildOutcome::Unparsed:
        case PstChildOutcome::NoItem:
            break;
        }
    }
    pstReportDamaged(folder, damaged);
}

QList<PstFolderItemPtr> pstFolderPathById(const PstFolderItemPtr& fileNode, uint64_t id)
{
    if (!fileNode || fileNode->depth() != 0 || !fileNode->handle() || !fileNode->descriptor())
        return {};
    fileNode->loadChildren();
    pst_file* pf = fileNode->handle().get();
    pst_desc_tree* top = fileNode->descriptor();
    // The descriptors from the target up to a first-level one (the top of
    // folders or a node after it in its sibling chain).
    QList<pst_desc_tree*> way;
    {
        QMutexLocker lock(&pstLibraryMutex());
        pst_desc_tree* node = pstFindDescriptor(pf, id);
        for (; node && node->parent != top->parent; node = node->parent) {
            way.prepend(node);
            if (way.size() > kMaxFolderDepth)
                return {};
        }
        if (!node)
            return {};
        pst_desc_tree* beside = top;
        while (beside && beside != node)
            beside = beside->next;
        if (!beside)
            return {};
        way.prepend(node);
    }
    QList<PstFolderItemPtr> path;
    for (const PstFolderItemPtr& first : fileNode->subfolders()) {
        if (first->descriptor() == way.first())
            path.append(first);
    }
    if (path.isEmpty())
        return {};
    for (qsizetype i = 1; i < way.size(); ++i) {
        const PstFolderItemPtr& above = path.last();
        PstFolderChild child = pstReadFolderChild(pf, way.at(i), *above);
        if (child.outcome != PstChildOutcome::Folder)
            return {};
        auto folder = std::static_pointer_cast<PstFolderItem>(child.record);
        folder->setChildLoader(pstLoadFolderChildren);
        folder->setParent(above);
        path.append(std::move(folder));
    }
    return path;
}
