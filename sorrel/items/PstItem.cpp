#include "sorrel/items/PstItem.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/store/PstSafeParse.h"

#include <QMutexLocker>
#include <QStringList>

#include <cstdlib>

namespace {

// The attachment at the same place when its id still matches, else the first
// with that id.
pst_item_attach* findAttachment(pst_item* item, const Attachment& attachment)
{
    pst_item_attach* match = nullptr;
    int position = 0;
    for (pst_item_attach* a = item->attach; a; a = a->next, ++position) {
        if (a->i_id != attachment.id)
            continue;
        if (position == attachment.position)
            return a;
        if (!match)
            match = a;
    }
    return match;
}

} // namespace

PstItem::PstItem()
    : m_name(QStringLiteral("未初始化"))
{
}

PstItem::~PstItem() = default;

void PstItem::setName(const QString& name)
{
    m_name = name;
    markDirty();
}

QString PstItem::title() const
{
    return m_name;
}

QString PstItem::subject() const
{
    return text(PstKey::Subject);
}

QString PstItem::durationText() const
{
    return QString();
}

qint64 PstItem::sortTime() const
{
    return 0;
}

QString PstItem::fieldText(PstSearchField field) const
{
    const bool needsBody = field == PstSearchField::Body || field == PstSearchField::Any;
    return fieldText(field, needsBody ? loadBody() : PstItemBody());
}

QString PstItem::fieldText(PstSearchField field, const PstItemBody& body) const
{
    switch (field) {
    case PstSearchField::Subject:
        return title() + QLatin1Char(' ') + subject();
    case PstSearchField::Body: {
        QStringList values;
        for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it)
            values << it.value().toString();
        const QString text = body.searchText();
        if (!text.isEmpty())
            values << text;
        return values.join(QLatin1Char(' '));
    }
    default:
        return QString();
    }
}

QString PstItem::fieldTextFresh(PstSearchField field) const
{
    return fieldText(field);
}

void PstItem::loadChildren()
{
}

QList<InfoSection> PstItem::infoSections(const PstItemBody&) const
{
    return {};
}

QStringList PstItem::baseSearchParts() const
{
    QStringList parts;
    auto add = [&parts](const QString& s) {
        const QString t = s.simplified();
        if (!t.isEmpty())
            parts << t;
    };
    add(title());
    add(subject());
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it)
        add(it.value().toString());
    return parts;
}

QString PstItem::buildSearchText() const
{
    return baseSearchParts().join(QLatin1Char(' '));
}

QString PstItem::searchText() const
{
    if (m_dirty) {
        m_searchText = buildSearchText();
        m_dirty = false;
    }
    return m_searchText;
}

void PstItem::markDirty()
{
    m_dirty = true;
    m_searchText.clear();
}

PstFileHandle PstItem::document() const
{
    std::shared_ptr<const PstItem> keep;
    const PstItem* node = this;
    while (node) {
        if (node->m_depth == 0)
            return node->m_document;
        keep = node->m_parent.lock();
        node = keep.get();
    }
    return {};
}

bool PstItem::parseAgain(const std::function<void(pst_file*, pst_item*)>& use) const
{
    const PstFileHandle handle = document();
    if (!handle || !m_descriptor)
        return false;
    QMutexLocker lock(&pstLibraryMutex());
    pst_item* item = pstParseItemChecked(handle.get(), m_descriptor);
    if (!item)
        return false;
    use(handle.get(), item);
    pst_freeItem(item);
    return true;
}

PstItemBody PstItem::loadBody() const
{
    PstItemBody body;
    parseAgain([&body](pst_file* pf, pst_item* item) { body = pstReadItemBody(pf, item); });
    return body;
}

QByteArray PstItem::attachmentBytes(pst_file* pf, pst_item_attach* attach)
{
    pst_binary bin = pstAttachToMemChecked(pf, attach);
    QByteArray bytes;
    if (bin.size && bin.data)
        bytes = QByteArray(bin.data, qsizetype(bin.size));
    std::free(bin.data);
    return bytes;
}

bool PstItem::withAttachment(const Attachment& attachment,
                             const std::function<void(pst_file*, pst_item_attach*)>& use) const
{
    bool found = false;
    parseAgain([&](pst_file* pf, pst_item* item) {
        if (pst_item_attach* a = findAttachment(item, attachment)) {
            found = true;
            use(pf, a);
        }
    });
    return found;
}

QByteArray PstItem::loadAttachmentData(const Attachment& attachment) const
{
    QByteArray bytes;
    if (!attachment.embeddedMessage)
        withAttachment(attachment, [&](pst_file* pf, pst_item_attach* a) { bytes = attachmentBytes(pf, a); });
    return bytes;
}

void PstItem::addChild(std::shared_ptr<PstItem> child)
{
    if (!child)
        return;
    child->m_parent = weak_from_this();
    m_children.append(std::move(child));
}

std::shared_ptr<PstItem> PstItem::childAt(int index)
{
    loadChildren();
    if (index < 0 || index >= m_children.size())
        return {};
    return m_children.at(index);
}

int PstItem::childCount()
{
    loadChildren();
    return int(m_children.size());
}

void PstItem::setTextField(pst_item* item, const pst_string& str, const QString& key)
{
    if (!str.str)
        return;
    QString value = decodeText(item, str);
    if (key == PstKey::SenderAddr && value.startsWith(QLatin1String("/O="), Qt::CaseInsensitive))
        value.clear();
    setField(key, value);
}

void PstItem::setDateField(const FILETIME* ft, const QString& key)
{
    if (!filetimeIsSet(ft))
        return;
    setField(key, QVariant::fromValue<qint64>(filetimeToSeconds(ft)));
}

void PstItem::setField(const QString& key, const QVariant& value)
{
    m_fields.insert(key, value);
    markDirty();
}

void PstItem::copyBaseInto(PstItem& copy) const
{
    copy.m_name = m_name;
    copy.m_depth = m_depth;
    copy.m_id = m_id;
    copy.m_filePath = m_filePath;
    copy.m_document = m_document;
    copy.m_descriptor = m_descriptor;
    copy.m_fields = m_fields;
    copy.m_attachments = m_attachments;
    copy.m_searchText = m_searchText;
    copy.m_dirty = m_dirty;
    for (const auto& child : m_children)
        copy.addChild(child->clone());
}
