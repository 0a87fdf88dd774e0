#include "sorrel/store/PstFolderItem.h"

#include "common/Log.h"
#include "common/MultiLanguage.h"
#include "sorrel/store/PstFolderIndex.h"
#include "sorrel/items/PstTextDecoding.h"

#include <QCoreApplication>
#include <QtDebug>

PstFolderItem::PstFolderItem() = default;

PstFolderItemPtr PstFolderItem::fromLibpst(pst_item* item, pst_desc_tree* d)
{
    auto folder = std::make_shared<PstFolderItem>();
    if (!item)
        return folder;
    folder->setName(decodeText(item, item->file_as));
    folder->setId(d ? d->d_id : 0);
    folder->setDescriptor(d);
    // libpst's structures are packed: copy the member before Qt binds a
    // reference to it (a misaligned reference otherwise).
    const char* const containerClass = item->ascii_type;
    folder->m_containerClass = containerClass ? QString::fromLatin1(containerClass) : QString();
    const int32_t contentCount = item->folder ? item->folder->item_count : 0;
    folder->m_contentCount = qMax(0, int(contentCount));
    return folder;
}

QString PstFolderItem::iconPath() const
{
    if (m_containerClass == QLatin1String("IPF.Appointment"))
        return QStringLiteral(":/img/calendar@3x.png");
    if (m_containerClass == QLatin1String("IPF.Contact"))
        return QStringLiteral(":/img/contact@3x.png");
    if (m_containerClass == QLatin1String("IPF.Journal"))
        return QStringLiteral(":/img/diary@3x.png");
    if (m_containerClass == QLatin1String("IPF.StickyNote"))
        return QStringLiteral(":/img/notepaper@3x.png");
    if (m_containerClass == QLatin1String("IPF.Task"))
        return QStringLiteral(":/img/task@3x.png");
    return QStringLiteral(":/img/folder@3x.png");
}

std::shared_ptr<PstItem> PstFolderItem::clone() const
{
    auto copy = std::make_shared<PstFolderItem>();
    // Subfolders are the children; the base copy clones them.
    copyBaseInto(*copy);
    for (const auto& child : copy->children()) {
        if (auto sub = std::dynamic_pointer_cast<PstFolderItem>(child))
            copy->m_subfolders.append(sub);
    }
    for (const auto& item : m_items)
        copy->addItem(item->clone());
    copy->m_containerClass = m_containerClass;
    copy->m_contentCount = m_contentCount;
    copy->m_loaded = m_loaded;
    copy->m_itemsReleased = m_itemsReleased;
    copy->m_damagedCount = m_damagedCount;
    copy->m_childLoader = m_childLoader;
    copy->m_folderIndex = m_folderIndex;
    return copy;
}

PstFolderItemPtr PstFolderItem::subfolderById(uint64_t id) const
{
    for (const PstFolderItemPtr& sub : m_subfolders) {
        if (sub->id() == id)
            return sub;
    }
    return {};
}

void PstFolderItem::addSubfolder(PstFolderItemPtr folder)
{
    if (!folder)
        return;
    addChild(folder);
    m_subfolders.append(std::move(folder));
}

void PstFolderItem::addItem(std::shared_ptr<PstItem> item)
{
    if (!item)
        return;
    item->setParent(shared_from_this());
    m_items.append(std::move(item));
}

void PstFolderItem::loadChildren()
{
    if (isLoaded())
        return;
    // Released items come back; the subfolders stay the records they are.
    const bool itemsOnly = m_loaded;
    m_loaded = true;
    m_itemsReleased = false;
    if (!m_childLoader)
        return;
    QList<PstFolderItemPtr> subfolders;
    QList<std::shared_ptr<PstItem>> items;
    m_childLoader(*this, subfolders, items);
    if (!itemsOnly) {
        for (auto& f : subfolders)
            addSubfolder(std::move(f));
    }
    for (auto& i : items)
        addItem(std::move(i));
}

void PstFolderItem::releaseItems()
{
    if (!m_loaded || !m_childLoader)
        return;
    m_items = {};
    m_itemsReleased = true;
}

int PstFolderItem::itemCount() const
{
    if (isLoaded() || !m_childLoader)
        return int(m_items.size());
    // Not loaded yet: the count collected for this folder in the background.
    std::shared_ptr<const PstItem> node = shared_from_this();
    while (node && node->depth() != 0)
        node = node->parent();
    const auto* file = dynamic_cast<const PstFolderItem*>(node.get());
    if (!file || !file->m_folderIndex)
        return 0;
    return file->m_folderIndex->itemCounts.value(id(), 0);
}

QString PstFolderItem::damagedText() const
{
    if (m_damagedCount <= 0)
        return {};
    return QCoreApplication::translate("PstFolderItem", "%n damaged item(s) skipped", nullptr, m_damagedCount);
}

QString PstFolderItem::countSuffix() const
{
    const int n = itemCount();
    return n > 0 ? MultiLanguage::plural("PstFolderItem", QT_TRANSLATE_N_NOOP("PstFolderItem", " (%n item(s))"), n)
                 : QString();
}

PstFolderItemPtr PstFolderItem::fileNode()
{
    std::shared_ptr<PstItem> node = shared_from_this();
    while (node && node->depth() != 0)
        node = node->parent();
    return std::dynamic_pointer_cast<PstFolderItem>(node);
}

QList<uint64_t> PstFolderItem::idPath()
{
    QList<uint64_t> path;
    std::shared_ptr<PstItem> node = shared_from_this();
    while (node && node->depth() != 0) {
        path.prepend(node->id());
        node = node->parent();
    }
    return path;
}

void PstFolderItem::removeChild(int row)
{
    if (row < 0 || row >= m_subfolders.size())
        return;
    PstFolderItemPtr child = m_subfolders.takeAt(row);
    mw::logInfo(QStringLiteral("Closing PST document %1.").arg(child->name()));
    QList<std::shared_ptr<PstItem>> kept;
    for (const auto& c : children()) {
        if (c != child)
            kept.append(c);
    }
    clearChildren();
    for (auto& c : kept)
        addChild(std::move(c));
}
