#include "sorrel/store/PstFolderChildren.h"

#include "common/Log.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstExtraProperties.h"
#include "sorrel/store/PstLibrary.h"
#include "sorrel/store/PstSafeParse.h"

#include <QMutexLocker>
#include <QStringList>

namespace {

// Node types (the low five bits of a node id).
constexpr uint64_t kNodeTypeMask = 0x1F;
constexpr uint64_t kNodeSearchFolder = 0x03;
constexpr uint64_t kNodeAssociatedMessage = 0x08;

constexpr uint64_t kMessageStoreNode = 0x21;
constexpr uint32_t kAttrHidden = 0x10F4;       // PR_ATTR_HIDDEN
constexpr uint32_t kFinderEntryId = 0x35E7;    // PR_FINDER_ENTRYID: the search root

uint64_t nodeType(const pst_desc_tree* node)
{
    return node->d_id & kNodeTypeMask;
}

// Folders Outlook and Exchange keep beside the top of folders for
// themselves; Outlook never shows them.
bool isSystemFolderName(const QString& name)
{
    static const QStringList names = {
        QStringLiteral("Search Root"),      QStringLiteral("~MAPISP(Internal)"),
        QStringLiteral("Drizzle"),          QStringLiteral("ItemProcSearch"),
        QStringLiteral("SPAM Search Folder 2"), QStringLiteral("Shared Data"),
    };
    return names.contains(name);
}

// The node id of the store's search root (from the message store's finder
// entry id: flags, provider uid, node id), or 0.
uint64_t searchRootNode(pst_file* pf)
{
    pst_desc_tree* store = pstFindDescriptor(pf, kMessageStoreNode);
    const std::optional<PstRawProperty> finder = store ? pstReadRawProperty(pf, store, kFinderEntryId) : std::nullopt;
    if (!finder || finder->value.size() != 24)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(finder->value.constData()) + 20;
    return uint64_t(b[0]) | uint64_t(b[1]) << 8 | uint64_t(b[2]) << 16 | uint64_t(b[3]) << 24;
}

bool isHiddenFolder(pst_file* pf, pst_desc_tree* node, const PstFolderItem& folder, bool besideTop)
{
    if (nodeType(node) == kNodeSearchFolder)
        return true;
    const std::optional<PstRawProperty> hidden = pstReadRawProperty(pf, node, kAttrHidden);
    if (hidden && !hidden->value.isEmpty() && hidden->value.at(0) != 0)
        return true;
    return besideTop && (isSystemFolderName(folder.name()) || node->d_id == searchRootNode(pf));
}

} // namespace

PstFolderChild pstReadFolderChild(pst_file* pf, pst_desc_tree* node, const PstFolderItem& parent)
{
    PstFolderChild child;
    if (!pf || !node)
        return child;
    if (nodeType(node) == kNodeAssociatedMessage) {
        child.outcome = PstChildOutcome::NotShown;
        return child;
    }
    QMutexLocker lock(&pstLibraryMutex());
    bool damaged = false;
    pst_item* item = pstParseItemChecked(pf, node, &damaged);
    if (!item) {
        if (damaged)
            child.outcome = PstChildOutcome::Damaged;
        return child;
    }
    if (item->folder) {
        PstFolderItemPtr folder = PstFolderItem::fromLibpst(item, node);
        if (isHiddenFolder(pf, node, *folder, parent.depth() == 0)) {
            child.outcome = PstChildOutcome::NotShown;
        } else {
            child.outcome = PstChildOutcome::Folder;
            child.record = std::move(folder);
        }
    } else if ((child.record = createItemRecord(pf, node, item))) {
        child.outcome = PstChildOutcome::Item;
    } else {
        child.outcome = PstChildOutcome::NoItem;
    }
    pst_freeItem(item);
    lock.unlock();
    if (child.record) {
        child.record->setDepth(parent.depth() + 1);
        child.record->setDescriptor(node);
    }
    return child;
}

void pstReportDamaged(PstFolderItem& folder, int damaged)
{
    folder.setDamagedCount(damaged);
    if (damaged > 0)
        mw::logWarning(QStringLiteral("%1 damaged item(s) skipped in folder \"%2\".").arg(damaged).arg(folder.name()));
}
