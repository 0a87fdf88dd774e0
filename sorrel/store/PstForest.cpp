#include "sorrel/store/PstForest.h"

#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstFolderChildren.h"
#include "sorrel/store/PstSafeParse.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <utility>
#include <vector>

namespace {

bool cancelled(const PstForestWalk& walk)
{
    return walk.cancel && walk.cancel->load(std::memory_order_relaxed);
}

// Normal folders in the sibling chain from first and below them (messages
// hold no folders, so only folders are descended into). Caller holds the
// library lock.
int countFolderNodes(pst_desc_tree* first)
{
    int count = 0;
    std::vector<pst_desc_tree*> chains{first};
    while (!chains.empty()) {
        pst_desc_tree* node = chains.back();
        chains.pop_back();
        for (; node; node = node->next) {
            if (!pstIsFolderNode(node))
                continue;
            ++count;
            // Packed libpst struct: copy the member rather than bind a reference to it.
            if (pst_desc_tree* const child = node->child)
                chains.push_back(child);
        }
    }
    return count;
}

struct PendingFolder {
    pst_desc_tree* firstChild;
    PstFolderItemPtr folder;
};

} // namespace

PstDetachedForest pstBuildForest(const QString& path, const PstFileHandle& handle, const PstForestWalk& walk)
{
    PstDetachedForest forest;
    if (!handle || cancelled(walk))
        return forest;
    pst_file* pf = handle.get();

    auto fileNode = std::make_shared<PstFolderItem>();
    fileNode->setDepth(0);
    fileNode->setName(QFileInfo(path).fileName());
    fileNode->setFilePath(path);
    fileNode->setDocument(handle);
    fileNode->setLoaded(true);
    forest.root = fileNode;
    forest.folderIndex = std::make_shared<PstFolderIndex>();
    PstFolderIndex& stats = *forest.folderIndex;

    pst_desc_tree* top = nullptr;
    {
        QMutexLocker lock(&pstLibraryMutex());
        if (pst_item* root = pf->d_head ? pstParseItemChecked(pf, pf->d_head) : nullptr) {
            top = pstTopOfFolders(pf, root);
            pst_freeItem(root);
        }
    }
    if (!top)
        return forest;

    fileNode->setId(top->parent_d_id);
    fileNode->setDescriptor(top);
    if (walk.onStart) {
        QMutexLocker lock(&pstLibraryMutex());
        const int folders = 1 + countFolderNodes(top);
        lock.unlock();
        walk.onStart(folders);
    }

    // Depth first over folders; each folder's own children are read in
    // descriptor order before any of its subfolders is walked.
    std::vector<PendingFolder> pending{{top, fileNode}};
    while (!pending.empty() && !cancelled(walk)) {
        const PendingFolder current = std::move(pending.back());
        pending.pop_back();
        PstFolderItem& parent = *current.folder;
        std::vector<PendingFolder> below;
        int row = 0;
        int damaged = 0;
        pst_desc_tree* node = current.firstChild;
        while (node && !cancelled(walk)) {
            if (walk.foldersOnly && !pstIsFolderNode(node)) {
                QMutexLocker lock(&pstLibraryMutex());
                node = node->next;
                continue;
            }
            PstItemBody body;
            PstFolderChild child = pstReadFolderChild(pf, node, parent, walk.readBodies ? &body : nullptr);
            pst_desc_tree* firstChild = nullptr;
            {
                QMutexLocker lock(&pstLibraryMutex());
                if (node->child && node->no_child > 0)
                    firstChild = node->child;
                node = node->next;
            }
            if (child.outcome == PstChildOutcome::Folder) {
                auto folder = std::static_pointer_cast<PstFolderItem>(child.record);
                folder->setLoaded(true);
                stats.foldersWithSubfolders.insert(parent.id());
                if (walk.foldersOnly)
                    stats.itemCounts.insert(folder->id(), folder->contentCount());
                parent.addSubfolder(folder);
                if (firstChild)
                    below.push_back({firstChild, std::move(folder)});
            } else if (child.outcome == PstChildOutcome::Item) {
                ++stats.itemCounts[parent.id()];
                if (walk.keepItems) {
                    parent.addItem(child.record);
                    forest.items.append(child.record);
                } else {
                    child.record->setParent(current.folder);
                }
                if (walk.onItem)
                    walk.onItem(child.record, parent, row, std::move(body));
                ++row;
            } else if (child.outcome == PstChildOutcome::Damaged) {
                ++damaged;
            }
        }
        if (!cancelled(walk))
            pstReportDamaged(parent, damaged);
        if (walk.onFolderDone)
            walk.onFolderDone();
        // Reversed, so that the first subfolder is walked next.
        for (auto it = below.rbegin(); it != below.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return forest;
}
