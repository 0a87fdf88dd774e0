#include "PstWriter.h"

#include "PstLtp.h"
#include "PstNdb.h"

#include <QHash>
#include <QtEndian>

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace pstw {

using namespace detail;

// ---------------------------------------------------------------- values

PropKey PropKey::named(const QUuid &guid, uint32_t lid)
{
    PropKey k;
    k.isNamed = true;
    k.guid = guid;
    k.lid = lid;
    return k;
}

PropKey PropKey::named(const QUuid &guid, const QString &name)
{
    PropKey k;
    k.isNamed = true;
    k.isString = true;
    k.guid = guid;
    k.name = name;
    return k;
}

bool PropKey::operator==(const PropKey &o) const
{
    if (isNamed != o.isNamed)
        return false;
    if (!isNamed)
        return id == o.id;
    return guid == o.guid && isString == o.isString && (isString ? name == o.name : lid == o.lid);
}

uint64_t toFiletime(const QDateTime &t)
{
    return uint64_t(t.toMSecsSinceEpoch() * 10000 + 116444736000000000LL);
}

namespace {

QByteArray le16(uint16_t v) { QByteArray b; put16(b, v); return b; }
QByteArray le32(uint32_t v) { QByteArray b; put32(b, v); return b; }
QByteArray le64(uint64_t v) { QByteArray b; put64(b, v); return b; }

QByteArray utf16(const QString &s)
{
    QByteArray b;
    b.reserve(s.size() * 2);
    for (QChar c : s)
        put16(b, c.unicode());
    return b;
}

QByteArray encode8(const QString &s, const char *codepage)
{
    const QByteArray in = s.toUtf8();
    if (!codepage || !*codepage || qstricmp(codepage, "UTF-8") == 0)
        return in;
    QByteArray to = QByteArray(codepage) + "//TRANSLIT";
    iconv_t cd = iconv_open(to.constData(), "UTF-8");
    if (cd == iconv_t(-1))
        return s.toLatin1();
    QByteArray out(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1)) {
            if (errno == EILSEQ || errno == EINVAL) {
                // Skip one input byte; put a question mark for it.
                ++src;
                --srcLeft;
                if (dstLeft > 0) { *dst++ = '?'; --dstLeft; }
                continue;
            }
            break;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - qsizetype(dstLeft));
    return out;
}

QByteArray guidBytes(const QUuid &g)
{
    QByteArray b;
    put32(b, g.data1);
    put16(b, g.data2);
    put16(b, g.data3);
    for (uint8_t c : g.data4)
        put8(b, c);
    return b;
}

} // namespace

Props &Props::put(Entry e)
{
    for (Entry &x : entries) {
        if (x.key == e.key) {
            x = std::move(e);
            return *this;
        }
    }
    entries.push_back(std::move(e));
    return *this;
}

Props &Props::setInt16(const PropKey &k, int16_t v) { return put({k, pt::Short, le16(uint16_t(v)), false, {}}); }
Props &Props::setInt32(const PropKey &k, int32_t v) { return put({k, pt::Long, le32(uint32_t(v)), false, {}}); }
Props &Props::setInt64(const PropKey &k, int64_t v) { return put({k, pt::Int64, le64(uint64_t(v)), false, {}}); }
Props &Props::setBool(const PropKey &k, bool v) { return put({k, pt::Boolean, le32(v ? 1 : 0), false, {}}); }
Props &Props::setDouble(const PropKey &k, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return put({k, pt::Double, le64(bits), false, {}});
}
Props &Props::setTime(const PropKey &k, const QDateTime &t) { return setFiletime(k, toFiletime(t)); }
Props &Props::setFiletime(const PropKey &k, uint64_t ft) { return put({k, pt::SysTime, le64(ft), false, {}}); }
Props &Props::setText(const PropKey &k, const QString &s) { return put({k, pt::Unicode, {}, true, s}); }
Props &Props::setUnicode(const PropKey &k, const QString &s) { return put({k, pt::Unicode, utf16(s), false, {}}); }
Props &Props::setString8(const PropKey &k, const QByteArray &b) { return put({k, pt::String8, b, false, {}}); }
Props &Props::setString8(const PropKey &k, const QString &s, const char *cp) { return put({k, pt::String8, encode8(s, cp), false, {}}); }
Props &Props::setBinary(const PropKey &k, const QByteArray &b) { return put({k, pt::Binary, b, false, {}}); }
Props &Props::setGuid(const PropKey &k, const QUuid &g) { return put({k, pt::Clsid, guidBytes(g), false, {}}); }
Props &Props::setRaw(const PropKey &k, uint16_t type, const QByteArray &b) { return put({k, type, b, false, {}}); }

Props &Props::remove(const PropKey &k)
{
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const Entry &e) { return e.key == k; }), entries.end());
    return *this;
}

void Props::merge(const Props &other)
{
    for (const Entry &e : other.entries)
        put(e);
}

bool Props::contains(const PropKey &k) const
{
    return std::any_of(entries.begin(), entries.end(), [&](const Entry &e) { return e.key == k; });
}

AttachmentSpec AttachmentSpec::file(const QString &name, const QByteArray &data, const QString &mime, const QString &cid)
{
    AttachmentSpec a;
    a.fileName = name;
    a.data = data;
    a.mimeType = mime;
    a.contentId = cid;
    return a;
}

AttachmentSpec AttachmentSpec::message(const MessageSpec &m, const QString &displayName)
{
    AttachmentSpec a;
    a.embedded = std::make_shared<MessageSpec>(m);
    a.fileName = displayName.isEmpty() ? m.subject : displayName;
    a.noFileName = true;
    return a;
}

// ---------------------------------------------------------------- writer

namespace {

constexpr uint32_t kNidMessageStore = 0x21;
constexpr uint32_t kNidNameToIdMap = 0x61;
constexpr uint32_t kNidRootFolder = 0x122;
constexpr uint32_t kNidRecipientTable = 0x692;
constexpr uint32_t kNidAttachmentTable = 0x671;
constexpr uint8_t kNidTypeFolder = 0x02, kNidTypeMessage = 0x04, kNidTypeAttachment = 0x05,
                  kNidTypeAssocMessage = 0x08;
constexpr uint8_t kNidTypeHierarchy = 0x0D, kNidTypeContents = 0x0E, kNidTypeAssoc = 0x0F;
constexpr int kBuckets = 251;

uint32_t nidOf(uint32_t index, uint8_t type) { return (index << 5) | type; }
uint32_t tableNid(uint32_t folder, uint8_t type) { return (folder & ~0x1Fu) | type; }
uint32_t tagOf(uint16_t id, uint16_t type) { return uint32_t(id) << 16 | type; }

QString shortName(const QString &longName)
{
    const int dot = longName.lastIndexOf(QLatin1Char('.'));
    QString base = dot > 0 ? longName.left(dot) : longName;
    QString ext = dot > 0 ? longName.mid(dot + 1) : QString();
    auto clean = [](const QString &s, int n) {
        QString out;
        for (QChar c : s) {
            if (c.isLetterOrNumber() && c.unicode() < 128)
                out.append(c.toUpper());
            if (out.size() == n)
                break;
        }
        return out;
    };
    base = clean(base, 8);
    ext = clean(ext, 3);
    if (base.isEmpty())
        base = QStringLiteral("ATT");
    return ext.isEmpty() ? base : base + QLatin1Char('.') + ext;
}

} // namespace

struct PstWriter::Impl {
    struct Folder {
        uint32_t nid = 0;
        uint32_t parent = 0;
        QString name;
        QString containerClass;
        Props extra;
        std::vector<uint32_t> children;
        std::unique_ptr<TableBuilder> contents;
        std::unique_ptr<TableBuilder> assoc;
        uint32_t count = 0;
        uint32_t unread = 0;
        uint32_t assocCount = 0;
    };
    struct NamedEntry { uint32_t idOrOffset; uint16_t guidIndex; bool isString; uint32_t hashValue; };

    NdbFile ndb;
    PstFormat format = PstFormat::Unicode;
    bool finished = false;
    QString storeName;
    QByteArray storeUid;
    QByteArray ansiCodepage = "WINDOWS-1252";
    std::map<uint32_t, Folder> folders;
    uint32_t nextFolderIndex = 0x404;
    uint32_t nextMessageIndex = 0x10000;
    uint32_t nextAssocIndex = 0x8000;
    uint32_t ipm = 0, deleted = 0, searchRoot = 0;
    int messages = 0;

    std::vector<QUuid> nameGuids;
    std::vector<NamedEntry> names;
    QByteArray nameStrings;
    QHash<QString, uint16_t> nameIds;

    bool unicode() const { return format == PstFormat::Unicode; }
    uint16_t textType() const { return unicode() ? pt::Unicode : pt::String8; }
    QByteArray text(const QString &s) const { return unicode() ? utf16(s) : encode8(s, ansiCodepage.constData()); }

    static QString nameKey(const PropKey &k)
    {
        return k.guid.toString() + (k.isString ? QStringLiteral("$") + k.name : QStringLiteral("#%1").arg(k.lid));
    }

    uint16_t guidIndex(const QUuid &g)
    {
        if (g == pset::mapi())
            return 1;
        if (g == pset::publicStrings())
            return 2;
        for (size_t i = 0; i < nameGuids.size(); ++i)
            if (nameGuids[i] == g)
                return uint16_t(3 + i);
        nameGuids.push_back(g);
        return uint16_t(2 + nameGuids.size());
    }

    uint16_t idFor(const PropKey &k)
    {
        if (!k.isNamed)
            return k.id;
        const QString key = nameKey(k);
        auto it = nameIds.constFind(key);
        if (it != nameIds.constEnd())
            return it.value();
        NamedEntry e;
        e.guidIndex = guidIndex(k.guid);
        e.isString = k.isString;
        if (k.isString) {
            const QByteArray u = utf16(k.name);
            e.idOrOffset = uint32_t(nameStrings.size());
            e.hashValue = pstCrc(u.constData(), size_t(u.size()));
            put32(nameStrings, uint32_t(u.size()));
            nameStrings.append(u);
            while (nameStrings.size() % 4)
                nameStrings.append('\0');
        } else {
            e.idOrOffset = k.lid;
            e.hashValue = k.lid;
        }
        const uint16_t id = uint16_t(0x8000 + names.size());
        names.push_back(e);
        nameIds.insert(key, id);
        return id;
    }

    std::vector<PcProp> resolve(const Props &props)
    {
        std::vector<PcProp> out;
        out.reserve(props.entries.size());
        for (const Props::Entry &e : props.entries) {
            PcProp p;
            p.id = idFor(e.key);
            if (e.autoText) {
                p.type = textType();
                p.data = text(e.text);
            } else {
                p.type = e.type;
                p.data = e.data;
            }
            out.push_back(std::move(p));
        }
        return out;
    }

    uint32_t addFolderRecord(uint32_t nid, uint32_t parent, const QString &name, const QString &cls, const Props &extra)
    {
        Folder f;
        f.nid = nid;
        f.parent = parent;
        f.name = name;
        f.containerClass = cls;
        f.extra = extra;
        folders.emplace(nid, std::move(f));
        if (parent != nid) {
            auto it = folders.find(parent);
            if (it != folders.end())
                it->second.children.push_back(nid);
        }
        return nid;
    }

    std::vector<uint32_t> contentsTags() const
    {
        const uint16_t s = textType();
        return {tagOf(tag::Importance, pt::Long), tagOf(tag::MessageClass, s), tagOf(tag::Subject, s),
                tagOf(tag::ClientSubmitTime, pt::SysTime), tagOf(tag::SentRepresentingName, s),
                tagOf(tag::DisplayTo, s), tagOf(tag::MessageDeliveryTime, pt::SysTime),
                tagOf(tag::MessageFlags, pt::Long), tagOf(tag::MessageSize, pt::Long)};
    }

    std::vector<uint32_t> hierarchyTags() const
    {
        const uint16_t s = textType();
        return {tagOf(tag::DisplayName, s), tagOf(tag::ContentCount, pt::Long),
                tagOf(tag::ContentUnreadCount, pt::Long), tagOf(tag::Subfolders, pt::Boolean),
                tagOf(tag::ContainerClass, s)};
    }

    static const PcProp *find(const std::vector<PcProp> &props, uint16_t id)
    {
        for (const PcProp &p : props)
            if (p.id == id)
                return &p;
        return nullptr;
    }

    // Writes one message (PC, recipient and attachment tables, attachments)
    // and returns its node; used for top-level and embedded messages.
    BuiltNode writeMessage(const MessageSpec &m, std::vector<PcProp> *resolvedOut, uint32_t *sizeOut)
    {
        Props p;
        p.setText(tag::MessageClass, m.messageClass);
        p.setText(tag::Subject, m.subject);
        p.setText(tag::ConversationTopic, m.subject);
        p.setInt32(tag::Importance, 1);
        p.setInt32(tag::Priority, 0);
        p.setInt32(tag::Sensitivity, 0);
        uint32_t flags = m.read ? 0x01 : 0x00;
        if (!m.attachments.empty())
            flags |= 0x10;
        p.setInt32(tag::MessageFlags, int32_t(flags));
        const QDateTime created = m.created.isValid() ? m.created : m.sent;
        const QDateTime modified = m.modified.isValid() ? m.modified : created;
        if (m.sent.isValid())
            p.setTime(tag::ClientSubmitTime, m.sent);
        if (m.received.isValid())
            p.setTime(tag::MessageDeliveryTime, m.received);
        if (created.isValid())
            p.setTime(tag::CreationTime, created);
        if (modified.isValid())
            p.setTime(tag::LastModificationTime, modified);
        if (!m.senderName.isEmpty() || !m.senderEmail.isEmpty()) {
            p.setText(tag::SentRepresentingName, m.senderName);
            p.setText(tag::SenderName, m.senderName);
            p.setText(tag::SentRepresentingAddrType, QStringLiteral("SMTP"));
            p.setText(tag::SenderAddrType, QStringLiteral("SMTP"));
            p.setText(tag::SentRepresentingEmailAddress, m.senderEmail);
            p.setText(tag::SenderEmailAddress, m.senderEmail);
            // Search keys as Outlook writes them: "SMTP:ADDRESS" in capitals, zero-terminated.
            const QByteArray key = "SMTP:" + m.senderEmail.toUpper().toUtf8() + '\0';
            p.setBinary(tag::SentRepresentingSearchKey, key);
            p.setBinary(tag::SenderSearchKey, key);
        }
        QStringList to, cc, bcc;
        for (const Recipient &r : m.recipients) {
            const QString n = r.name.isEmpty() ? r.email : r.name;
            (r.type == Recipient::Cc ? cc : r.type == Recipient::Bcc ? bcc : to).append(n);
        }
        p.setText(tag::DisplayTo, to.join(QStringLiteral("; ")));
        if (!cc.isEmpty())
            p.setText(tag::DisplayCc, cc.join(QStringLiteral("; ")));
        if (!bcc.isEmpty())
            p.setText(tag::DisplayBcc, bcc.join(QStringLiteral("; ")));
        if (m.body)
            p.setText(tag::Body, *m.body);
        if (m.html)
            p.setBinary(tag::Html, *m.html);
        if (m.rtf) {
            p.setBinary(tag::RtfCompressed, compressRtf(*m.rtf));
            p.setBool(tag::RtfInSync, !m.body.has_value());
        }
        if (!m.messageId.isEmpty())
            p.setText(tag::InternetMessageId, m.messageId);
        p.merge(m.props);

        SubnodeList subs;
        uint32_t size = 0;

        // Recipients.
        const uint16_t s = textType();
        TableBuilder recips(ndb.layout(), {tagOf(tag::RecipientType, pt::Long), tagOf(tag::ObjectType, pt::Long),
                                           tagOf(tag::DisplayName, s), tagOf(tag::AddressType, s),
                                           tagOf(tag::EmailAddress, s), tagOf(tag::DisplayType, pt::Long),
                                           tagOf(0x0E0F, pt::Boolean)});
        uint32_t row = 0;
        for (const Recipient &r : m.recipients) {
            recips.addRow(row++, {{true, le32(uint32_t(r.type))}, {true, le32(6)},
                                  {true, text(r.name.isEmpty() ? r.email : r.name)},
                                  {true, text(r.addressType)}, {true, text(r.email)}, {true, le32(0)},
                                  {true, QByteArray(1, '\1')}});
        }
        {
            SubnodeList none;
            BuiltNode rt = recips.write(ndb, none);
            subs.add(kNidRecipientTable, rt.bidData, rt.bidSub);
        }

        // Attachments.
        if (!m.attachments.empty()) {
            TableBuilder atts(ndb.layout(), {tagOf(tag::AttachSize, pt::Long), tagOf(tag::AttachFilename, s),
                                             tagOf(tag::AttachMethod, pt::Long), tagOf(tag::RenderingPosition, pt::Long)});
            for (const AttachmentSpec &a : m.attachments) {
                const uint32_t anid = subs.newNid(kNidTypeAttachment);
                SubnodeList asubs;
                Props ap;
                const int method = a.embedded ? 5 : 1;
                uint32_t asize = uint32_t(a.data.size());
                const QString shortN = a.shortName.isEmpty() ? shortName(a.fileName) : a.shortName;
                ap.setInt32(tag::AttachMethod, method);
                ap.setInt32(tag::RenderingPosition, -1);
                if (!a.noFileName) {
                    ap.setText(tag::AttachFilename, shortN);
                    ap.setText(tag::AttachLongFilename, a.fileName);
                    const int dot = a.fileName.lastIndexOf(QLatin1Char('.'));
                    if (dot >= 0)
                        ap.setText(tag::AttachExtension, a.fileName.mid(dot));
                }
                if (!a.fileName.isEmpty())
                    ap.setText(tag::DisplayName, a.fileName);
                if (!a.mimeType.isEmpty())
                    ap.setText(tag::AttachMimeTag, a.mimeType);
                if (!a.contentId.isEmpty()) {
                    ap.setText(tag::AttachContentId, a.contentId);
                    ap.setInt32(tag::AttachFlags, 4);
                }
                std::vector<PcProp> aprops;
                if (a.embedded) {
                    const uint32_t enid = asubs.newNid(kNidTypeMessage);
                    uint32_t esize = 0;
                    BuiltNode en = writeMessage(*a.embedded, nullptr, &esize);
                    asubs.add(enid, en.bidData, en.bidSub);
                    asize = esize;
                    QByteArray obj = le32(enid);
                    obj.append(le32(esize));
                    ap.setRaw(tag::AttachDataObject, pt::Object, obj);
                } else {
                    ap.setBinary(tag::AttachDataBinary, a.data);
                }
                ap.setInt32(tag::AttachSize, int32_t(asize));
                ap.merge(a.props);
                BuiltNode an = writePc(ndb, resolve(ap), asubs);
                subs.add(anid, an.bidData, an.bidSub);
                size += asize;
                atts.addRow(anid, {{true, le32(asize)}, {!a.noFileName, text(shortN)}, {true, le32(uint32_t(method))},
                                   {true, le32(0xFFFFFFFF)}});
            }
            SubnodeList none;
            BuiltNode at = atts.write(ndb, none);
            subs.add(kNidAttachmentTable, at.bidData, at.bidSub);
        }

        std::vector<PcProp> props = resolve(p);
        for (const PcProp &x : props)
            size += uint32_t(x.data.size()) + 8;
        // The size property describes the whole message.
        for (PcProp &x : props)
            if (x.id == tag::MessageSize && x.type == pt::Long && !m.props.contains(tag::MessageSize))
                x.data = le32(size);
        if (!find(props, tag::MessageSize))
            props.push_back({tag::MessageSize, pt::Long, le32(size)});
        BuiltNode n = writePc(ndb, props, subs);
        if (sizeOut)
            *sizeOut = size;
        if (resolvedOut)
            *resolvedOut = std::move(props);
        return n;
    }

    QByteArray entryId(uint32_t nid) const
    {
        QByteArray e = le32(0);
        e.append(storeUid);
        e.append(le32(nid));
        return e;
    }

    void writeEmptyTable(uint32_t nid, const std::vector<uint32_t> &tags)
    {
        TableBuilder t(ndb.layout(), tags);
        SubnodeList subs;
        BuiltNode n = t.write(ndb, subs);
        ndb.addNode(nid, n.bidData, n.bidSub, 0);
    }

    // Writes a message under folder and lists it in the folder's contents
    // table, or in its associated contents table.
    uint32_t addToFolder(uint32_t folder, const MessageSpec &m, bool associated)
    {
        auto it = folders.find(folder);
        if (finished || it == folders.end() || !ndb.ok())
            return 0;
        const uint32_t nid = associated ? nidOf(nextAssocIndex++, kNidTypeAssocMessage)
                                        : nidOf(nextMessageIndex++, kNidTypeMessage);
        std::vector<PcProp> props;
        uint32_t size = 0;
        BuiltNode n = writeMessage(m, &props, &size);
        ndb.addNode(nid, n.bidData, n.bidSub, folder);

        Folder &f = it->second;
        std::unique_ptr<TableBuilder> &table = associated ? f.assoc : f.contents;
        if (!table)
            table = std::make_unique<TableBuilder>(ndb.layout(), contentsTags());
        // One row per message; a property of another type than its column is left out.
        const std::vector<uint32_t> tags = contentsTags();
        std::vector<TableBuilder::Cell> cells;
        cells.reserve(tags.size());
        for (uint32_t t : tags) {
            const PcProp *p = find(props, uint16_t(t >> 16));
            cells.push_back(p && p->type == uint16_t(t & 0xFFFF) ? TableBuilder::Cell{true, p->data} : TableBuilder::Cell{});
        }
        table->addRow(nid, cells);
        if (associated) {
            ++f.assocCount;
            return nid;
        }
        ++f.count;
        ++messages;
        if (!m.read)
            ++f.unread;
        return nid;
    }

    bool finish()
    {
        if (finished)
            return ndb.error().isEmpty();
        finished = true;
        if (!ndb.ok())
            return false;

        for (auto &[nid, f] : folders) {
            Props p;
            p.setText(tag::DisplayName, f.name);
            p.setInt32(tag::ContentCount, int32_t(f.count));
            p.setInt32(tag::ContentUnreadCount, int32_t(f.unread));
            p.setBool(tag::Subfolders, !f.children.empty());
            if (f.assocCount)
                p.setInt32(tag::AssocContentCount, int32_t(f.assocCount));
            if (!f.containerClass.isEmpty())
                p.setText(tag::ContainerClass, f.containerClass);
            p.merge(f.extra);
            SubnodeList subs;
            BuiltNode n = writePc(ndb, resolve(p), subs);
            ndb.addNode(nid, n.bidData, n.bidSub, f.parent);

            TableBuilder h(ndb.layout(), hierarchyTags());
            for (uint32_t c : f.children) {
                const Folder &cf = folders.at(c);
                h.addRow(c, {{true, text(cf.name)}, {true, le32(cf.count)}, {true, le32(cf.unread)},
                             {true, QByteArray(1, cf.children.empty() ? '\0' : '\1')},
                             {!cf.containerClass.isEmpty(), text(cf.containerClass)}});
            }
            SubnodeList hs;
            BuiltNode hn = h.write(ndb, hs);
            ndb.addNode(tableNid(nid, kNidTypeHierarchy), hn.bidData, hn.bidSub, 0);

            SubnodeList cs;
            if (!f.contents)
                f.contents = std::make_unique<TableBuilder>(ndb.layout(), contentsTags());
            BuiltNode cn = f.contents->write(ndb, cs);
            f.contents.reset();
            ndb.addNode(tableNid(nid, kNidTypeContents), cn.bidData, cn.bidSub, 0);
            if (f.assoc) {
                SubnodeList as;
                BuiltNode an = f.assoc->write(ndb, as);
                f.assoc.reset();
                ndb.addNode(tableNid(nid, kNidTypeAssoc), an.bidData, an.bidSub, 0);
            } else {
                writeEmptyTable(tableNid(nid, kNidTypeAssoc), contentsTags());
            }
        }
        // Templates of new folders' tables.
        writeEmptyTable(0x60D, hierarchyTags());
        writeEmptyTable(0x60E, contentsTags());
        writeEmptyTable(0x60F, contentsTags());
        writeEmptyTable(0x610, contentsTags());

        // Message store.
        {
            Props p;
            p.setBinary(tag::RecordKey, storeUid);
            p.setText(tag::DisplayName, storeName);
            p.setInt32(0x35DF, 0x89);                 // valid folders: IPM subtree, wastebasket, finder
            p.setBinary(0x35E0, entryId(ipm));
            p.setBinary(0x35E3, entryId(deleted));
            p.setBinary(0x35E7, entryId(searchRoot));
            p.setInt32(0x67FF, 0);                    // no password
            SubnodeList subs;
            BuiltNode n = writePc(ndb, resolve(p), subs);
            ndb.addNode(kNidMessageStore, n.bidData, n.bidSub, 0);
        }

        // Name-to-id map.
        {
            std::vector<PcProp> props;
            props.push_back({0x0001, pt::Long, le32(kBuckets)});
            QByteArray guids;
            for (const QUuid &g : nameGuids)
                guids.append(guidBytes(g));
            props.push_back({0x0002, pt::Binary, guids});
            QByteArray entries;
            std::vector<QByteArray> buckets(kBuckets);
            for (size_t i = 0; i < names.size(); ++i) {
                const NamedEntry &e = names[i];
                const uint16_t g = uint16_t((e.guidIndex << 1) | (e.isString ? 1 : 0));
                put32(entries, e.idOrOffset);
                put16(entries, g);
                put16(entries, uint16_t(i));
                QByteArray &b = buckets[(e.hashValue ^ g) % kBuckets];
                put32(b, e.hashValue);
                put16(b, g);
                put16(b, uint16_t(i));
            }
            props.push_back({0x0003, pt::Binary, entries});
            props.push_back({0x0004, pt::Binary, nameStrings});
            for (int i = 0; i < kBuckets; ++i)
                if (!buckets[size_t(i)].isEmpty())
                    props.push_back({uint16_t(0x1000 + i), pt::Binary, buckets[size_t(i)]});
            SubnodeList subs;
            BuiltNode n = writePc(ndb, props, subs);
            ndb.addNode(kNidNameToIdMap, n.bidData, n.bidSub, 0);
        }

        uint32_t next[32];
        for (uint32_t &v : next)
            v = 0x400;
        next[kNidTypeFolder] = nextFolderIndex;
        next[kNidTypeMessage] = nextMessageIndex;
        next[kNidTypeAssocMessage] = nextAssocIndex;
        next[0x03] = 0x4000;
        return ndb.finish(next);
    }
};

PstWriter::PstWriter(const QString &path, PstFormat format, PstEncryption encryption, const QString &storeName)
    : d(std::make_unique<Impl>())
{
    d->format = format;
    d->storeName = storeName;
    d->storeUid = guidBytes(QUuid::createUuidV5(QUuid(0x6b1f8a52, 0x41d3, 0x4c57, 0x9a, 0x0e, 0x3b, 0x5a, 0x61, 0x7e, 0x2d, 0x90), storeName));
    d->ndb.open(path, format == PstFormat::Unicode, encryption == PstEncryption::Compressible);
    d->addFolderRecord(kNidRootFolder, kNidRootFolder, QString(), QString(), {});
    d->ipm = d->addFolderRecord(nidOf(0x401, kNidTypeFolder), kNidRootFolder, QStringLiteral("Top of Personal Folders"), QString(), {});
    d->searchRoot = d->addFolderRecord(nidOf(0x402, kNidTypeFolder), kNidRootFolder, QStringLiteral("Search Root"), QString(), {});
    d->deleted = d->addFolderRecord(nidOf(0x403, kNidTypeFolder), d->ipm, QStringLiteral("Deleted Items"), QStringLiteral("IPF.Note"), {});
    // Every store maps a few common names; readers expect non-empty streams.
    d->idFor(PropKey::named(pset::common(), lid::ReminderSet));
    d->idFor(PropKey::named(pset::publicStrings(), QStringLiteral("Keywords")));
}

PstWriter::~PstWriter()
{
    if (d && !d->finished)
        d->finish();
}

bool PstWriter::isOk() const { return d->ndb.error().isEmpty() && (d->finished || d->ndb.ok()); }
QString PstWriter::errorString() const { return d->ndb.error(); }
PstFormat PstWriter::format() const { return d->format; }
void PstWriter::setAnsiCodepage(const char *iconvName) { d->ansiCodepage = iconvName; }
FolderId PstWriter::rootFolder() const { return kNidRootFolder; }
FolderId PstWriter::ipmSubtree() const { return d->ipm; }
FolderId PstWriter::deletedItems() const { return d->deleted; }

FolderId PstWriter::addFolder(FolderId parent, const QString &name, const QString &containerClass, const Props &extra)
{
    if (d->finished || !d->folders.count(parent))
        return 0;
    return d->addFolderRecord(nidOf(d->nextFolderIndex++, kNidTypeFolder), parent, name, containerClass, extra);
}

MessageId PstWriter::addMessage(FolderId folder, const MessageSpec &m)
{
    return d->addToFolder(folder, m, false);
}

MessageId PstWriter::addAssociatedMessage(FolderId folder, const MessageSpec &m)
{
    return d->addToFolder(folder, m, true);
}

void PstWriter::addRawNode(uint32_t nid, uint32_t parentNid, const QByteArray &data)
{
    if (d->finished || !d->ndb.ok())
        return;
    d->ndb.addNode(nid, data.isEmpty() ? 0 : d->ndb.writeBlock(data, false), 0, parentNid);
}

bool PstWriter::finish() { return d->finish(); }

int PstWriter::messageCount() const { return d->messages; }

uint16_t PstWriter::namedPropertyId(const PropKey &key) const
{
    return d->nameIds.value(Impl::nameKey(key), 0);
}

} // namespace pstw
