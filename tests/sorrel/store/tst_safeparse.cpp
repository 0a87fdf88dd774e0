// The validating layer in front of libpst's item parse: it refuses no item of
// a sound file (real-world files and written ones of every kind and format),
// and it refuses, counts and skips items whose structures are damaged, each
// kind of damage on its own, without a crash.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstSafeParse.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>

using namespace pstw;

namespace {

// Opened with its index; the name-to-id map is loaded through the check.
PstFileHandle openIndexed(const QString& path)
{
    PstFileHandle h = makePstFileHandle();
    if (pst_open(h.get(), QFile::encodeName(path).constData(), nullptr) != 0) {
        std::memset(h.get(), 0, sizeof(pst_file));
        return {};
    }
    if (pst_load_index(h.get()) != 0 || pstLoadExtendedAttributesChecked(h.get()) != PstNameMapResult::Loaded)
        return {};
    return h;
}

QByteArray bytesOf(int n, char seed)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(seed + i * 7);
    return b;
}

// A mailbox with every structure the item parse reads: multi-block property
// contexts, values in subnodes, recipient and attachment tables, an embedded
// message, and named properties.
// Answers the id of the mail that has all of them.
MessageId writeMailbox(const QString& path, PstFormat format, PstEncryption encryption)
{
    PstWriter w(path, format, encryption);
    const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
    MessageSpec inner;
    inner.subject = QStringLiteral("inner");
    inner.body = QStringLiteral("embedded body");
    inner.recipients = {{QStringLiteral("In"), QStringLiteral("in@example.com")}};
    MessageSpec m;
    m.subject = QStringLiteral("outer");
    m.body = QString(20000, QLatin1Char('b'));
    m.html = QByteArray("<p>hi <img src=\"cid:logo\"></p>");
    m.senderName = QStringLiteral("Ann");
    m.senderEmail = QStringLiteral("ann@example.com");
    m.sent = m.received = QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
    for (int i = 0; i < 30; ++i)
        m.recipients.append({QStringLiteral("R%1").arg(i), QStringLiteral("r%1@example.com").arg(i)});
    m.attachments.push_back(AttachmentSpec::file(QStringLiteral("logo.png"), bytesOf(300, 1), QStringLiteral("image/png"), QStringLiteral("logo")));
    m.attachments.push_back(AttachmentSpec::file(QStringLiteral("big.bin"), bytesOf(40000, 3)));
    m.attachments.push_back(AttachmentSpec::message(inner, QStringLiteral("inner.msg")));
    m.props.setText(PropKey::named(pset::publicStrings(), QStringLiteral("X-Custom")), QStringLiteral("v"));
    const MessageId outer = w.addMessage(inbox, m);
    MessageSpec plain;
    plain.subject = QStringLiteral("plain");
    plain.body = QStringLiteral("sound neighbour");
    w.addMessage(inbox, plain);
    const FolderId tasks = w.addFolder(w.ipmSubtree(), QStringLiteral("Tasks"), QStringLiteral("IPF.Task"));
    TaskSpec t;
    t.subject = QStringLiteral("task");
    t.status = 1;
    t.owner = QStringLiteral("Bo");
    w.addTask(tasks, t);
    const FolderId contacts = w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    ContactSpec c;
    c.givenName = QStringLiteral("Cy");
    c.email1 = QStringLiteral("cy@example.com");
    w.addContact(contacts, c);
    if (!w.finish())
        qWarning("%s", qPrintable(w.errorString()));
    return outer;
}

uint16_t get16(const QByteArray& b, qint64 at) { return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)); }
uint32_t get32(const QByteArray& b, qint64 at) { return get16(b, at) | (uint32_t(get16(b, at + 2)) << 16); }
void put16(QByteArray& b, qint64 at, uint16_t v) { b[at] = char(v & 0xFF); b[at + 1] = char(v >> 8); }
void put32(QByteArray& b, qint64 at, uint32_t v) { put16(b, at, uint16_t(v)); put16(b, at + 2, uint16_t(v >> 16)); }

// The raw bytes of an unencrypted Unicode file with the index of its sound
// state, to damage one structure of the mail `outer` at a time. Offsets are
// file offsets of single-block heaps.
struct Damage {
    QByteArray file;
    pst_file* pf;
    pst_desc_tree* mail;

    qint64 blockAt(uint64_t id) const { return qint64(pst_getID(pf, id)->offset); }
    qint64 mailBlock() const { return blockAt(mail->desc->i_id); }
    // The file offset of heap allocation hid in the heap at block (size too).
    qint64 alloc(qint64 block, uint32_t hid, qint64* size = nullptr) const
    {
        const qint64 map = block + get16(file, block);
        const qint64 slot = (hid >> 5) & 0x7FF;
        const qint64 begin = get16(file, map + 4 + 2 * (slot - 1));
        if (size)
            *size = get16(file, map + 4 + 2 * slot) - begin;
        return block + begin;
    }
    // The file offset of the property record of id in the context of node
    // (the mail by default).
    qint64 record(uint16_t id, const pst_desc_tree* node = nullptr) const
    {
        const qint64 block = blockAt((node ? node : mail)->desc->i_id);
        const qint64 bth = alloc(block, get32(file, block + 4));
        qint64 size = 0;
        const qint64 leaf = alloc(block, get32(file, bth + 4), &size);
        for (qint64 at = leaf; at < leaf + size; at += 8) {
            if (get16(file, at) == id)
                return at;
        }
        return -1;
    }
    // The data block of subnode nid of the mail.
    qint64 subnode(uint32_t nid) const
    {
        const qint64 list = blockAt(mail->assoc_tree->i_id);
        for (int i = 0; i < get16(file, list + 2); ++i) {
            const qint64 at = list + 8 + 24 * i;
            if (get32(file, at) == nid)
                return blockAt(get32(file, at + 8));
        }
        return -1;
    }
    // The first block of the index whose id has the internal bit and whose
    // bytes start with type and level.
    qint64 internalBlock(uint8_t type, uint8_t level) const
    {
        for (size_t i = 0; i < pf->i_count; ++i) {
            const qint64 at = qint64(pf->i_table[i].offset);
            if ((pf->i_table[i].i_id & 2) && uint8_t(file[at]) == type && uint8_t(file[at + 1]) == level)
                return at;
        }
        return -1;
    }
};

using Damager = std::function<bool(Damage&)>;

} // namespace

Q_DECLARE_METATYPE(Damager)

class TestSafeParse : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // One damaged structure of one mail at a time: the mail is refused and
    // counted, its folder loads the rest, nothing crashes.
    void damagedItem_data()
    {
        QTest::addColumn<Damager>("damage");
        auto recordOf = [](uint16_t id, std::function<void(Damage&, qint64)> change) {
            return Damager([=](Damage& d) {
                const qint64 at = d.record(id);
                if (at >= 0)
                    change(d, at);
                return at >= 0;
            });
        };
        QTest::newRow("heap page map past its block") << Damager([](Damage& d) {
            put16(d.file, d.mailBlock(), 0xFFF0);
            return true;
        });
        QTest::newRow("heap allocation ending before it starts") << Damager([](Damage& d) {
            const qint64 map = d.mailBlock() + get16(d.file, d.mailBlock());
            put16(d.file, map + 4 + 2 * 2, 1);
            return true;
        });
        QTest::newRow("no heap signature") << Damager([](Damage& d) {
            d.file[d.mailBlock() + 2] = 0;
            return true;
        });
        QTest::newRow("B-tree header with a wrong key size") << Damager([](Damage& d) {
            d.file[d.alloc(d.mailBlock(), get32(d.file, d.mailBlock() + 4)) + 1] = 4;
            return true;
        });
        QTest::newRow("value in an allocation that does not exist") << recordOf(0x0037, [](Damage& d, qint64 at) {
            put32(d.file, at + 4, 0x7FE0);
        });
        QTest::newRow("date of six bytes") << recordOf(0x0042, [](Damage& d, qint64 at) {
            put16(d.file, at + 2, 0x0040);
        });
        QTest::newRow("unknown property type") << recordOf(0x0037, [](Damage& d, qint64 at) {
            put16(d.file, at + 2, 0x0099);
        });
        QTest::newRow("error code where libpst expects a number") << recordOf(0x0E07, [](Damage& d, qint64 at) {
            put16(d.file, at + 2, 0x000A);
        });
        QTest::newRow("message class that is not text") << recordOf(0x001A, [](Damage& d, qint64 at) {
            put16(d.file, at + 2, 0x0102);
        });
        QTest::newRow("value in a subnode that does not exist") << recordOf(0x1000, [](Damage& d, qint64 at) {
            put32(d.file, at + 4, get32(d.file, at + 4) ^ 0x40000);
        });
        QTest::newRow("block list total that does not add up") << Damager([](Damage& d) {
            const qint64 at = d.internalBlock(0x01, 1);
            if (at >= 0)
                put32(d.file, at + 4, get32(d.file, at + 4) + 1);
            return at >= 0;
        });
        QTest::newRow("subnode list longer than its block") << Damager([](Damage& d) {
            put16(d.file, d.blockAt(d.mail->assoc_tree->i_id) + 2, 0x4000);
            return true;
        });
        QTest::newRow("attachment table with rows wider than its columns") << Damager([](Damage& d) {
            const qint64 table = d.subnode(0x671);
            if (table >= 0)
                put16(d.file, d.alloc(table, get32(d.file, table + 4)) + 6, 0x400);
            return table >= 0;
        });
        QTest::newRow("recipient table column past the row") << Damager([](Damage& d) {
            const qint64 table = d.subnode(0x692);
            if (table >= 0)
                put16(d.file, d.alloc(table, get32(d.file, table + 4)) + 22 + 8 * 2 + 4, 0x300);
            return table >= 0;
        });
    }

    void damagedItem()
    {
        QFETCH(Damager, damage);
        const QString sound = m_dir.filePath(QStringLiteral("damage-source.pst"));
        const MessageId mailId = writeMailbox(sound, PstFormat::Unicode, PstEncryption::None);
        PstFileHandle h = openIndexed(sound);
        QVERIFY(h);
        QFile in(sound);
        QVERIFY(in.open(QIODevice::ReadOnly));
        Damage d{in.readAll(), h.get(), pstFindDescriptor(h.get(), mailId)};
        QVERIFY(d.mail && d.mail->assoc_tree);
        QVERIFY2(damage(d), "the structure to damage was not found");
        const QString damaged = m_dir.filePath(QStringLiteral("damaged.pst"));
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(d.file);
        out.close();

        PstDocument document;
        QVERIFY(document.open(damaged));
        const PstFolderItemPtr fileNode = document.parse(damaged);
        QVERIFY(fileNode);
        PstFolderItemPtr inbox;
        for (const PstFolderItemPtr& top : fileNode->subfolders()) {
            top->loadChildren();
            for (const PstFolderItemPtr& f : top->subfolders()) {
                if (f->name() == QLatin1String("Inbox"))
                    inbox = f;
            }
        }
        QVERIFY(inbox);
        inbox->loadChildren();
        QCOMPARE(inbox->damagedCount(), 1);
        QCOMPARE(inbox->damagedText(), QStringLiteral("1 damaged item(s) skipped"));
        QCOMPARE(inbox->items().size(), 1);
        QCOMPARE(inbox->items().first()->subject(), QStringLiteral("plain"));
        QVERIFY(!loadItemById(document.handle(), mailId));
    }

    // A name-to-id map whose named string lies outside its string stream:
    // the file opens without named properties and its items still load.
    void damagedNameMap()
    {
        const QString sound = m_dir.filePath(QStringLiteral("map-source.pst"));
        writeMailbox(sound, PstFormat::Unicode, PstEncryption::None);
        PstFileHandle h = openIndexed(sound);
        QVERIFY(h);
        QFile in(sound);
        QVERIFY(in.open(QIODevice::ReadOnly));
        Damage d{in.readAll(), h.get(), nullptr};
        const pst_desc_tree* map = pstFindDescriptor(h.get(), 0x61);
        QVERIFY(map);
        const qint64 record = d.record(0x0003, map);
        QVERIFY(record >= 0);
        qint64 size = 0;
        const qint64 entries = d.alloc(d.blockAt(map->desc->i_id), get32(d.file, record + 4), &size);
        bool named = false;
        for (qint64 at = entries; at < entries + size && !named; at += 8) {
            if ((named = get16(d.file, at + 4) & 1))
                put32(d.file, at, 0x7FFFFFF0);
        }
        QVERIFY(named);
        const QString damaged = m_dir.filePath(QStringLiteral("map-damaged.pst"));
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(d.file);
        out.close();

        PstFileHandle raw = makePstFileHandle();
        QCOMPARE(pst_open(raw.get(), QFile::encodeName(damaged).constData(), nullptr), 0);
        QCOMPARE(pst_load_index(raw.get()), 0);
        QCOMPARE(int(pstLoadExtendedAttributesChecked(raw.get())), int(PstNameMapResult::Damaged));
        QVERIFY(!raw->x_head);

        PstDocument document;
        QVERIFY(document.open(damaged));
        const PstFolderItemPtr fileNode = document.parse(damaged);
        QVERIFY(fileNode);
        QVERIFY(!fileNode->subfolders().isEmpty());
    }

    // Outlook 2013 files keep blocks zlib-compressed: one whose stream is
    // damaged no longer inflates to its size, and its item is refused
    // (libpst would parse a half-inflated buffer).
    void damagedCompressedBlock()
    {
        const QString source = qEnvironmentVariable("MARROWIN_OST_1");
        const QString copy = m_dir.filePath(QStringLiteral("compressed.ost"));
        QFile::remove(copy);
        QVERIFY(QFile::copy(source, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        uint64_t id = 0;
        qint64 at = -1;
        {
            PstFileHandle h = openIndexed(copy);
            QVERIFY(h);
            for (pst_desc_tree* d = h->d_head; d && at < 0; d = pst_getNextDptr(d)) {
                if ((d->d_id & 0x1F) != 0x04 || !d->desc || d->desc->inflated_size == d->desc->size)
                    continue;
                id = d->d_id;
                at = qint64(d->desc->offset + d->desc->size / 2);
            }
        }
        QVERIFY2(at >= 0, "no compressed message block");
        QFile f(copy);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(at);
        const char byte = char(f.peek(1).at(0) ^ 0x5A);
        f.write(&byte, 1);
        f.close();

        PstFileHandle h = openIndexed(copy);
        QVERIFY(h);
        bool damaged = false;
        QVERIFY(!pstParseItemChecked(h.get(), pstFindDescriptor(h.get(), id), &damaged));
        QVERIFY(damaged);
    }

    void soundFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("enron") << qEnvironmentVariable("MARROWIN_ENRON_PST");
        QTest::newRow("ost 1") << qEnvironmentVariable("MARROWIN_OST_1");
        QTest::newRow("ost 2") << qEnvironmentVariable("MARROWIN_OST_2");
        const struct { const char* name; PstFormat format; PstEncryption encryption; } written[] = {
            {"unicode", PstFormat::Unicode, PstEncryption::None},
            {"ansi", PstFormat::Ansi, PstEncryption::None},
            {"unicode compressible", PstFormat::Unicode, PstEncryption::Compressible},
            {"ansi compressible", PstFormat::Ansi, PstEncryption::Compressible},
        };
        for (const auto& w : written) {
            const QString path = m_dir.filePath(QLatin1String(w.name) + QStringLiteral(".pst"));
            writeMailbox(path, w.format, w.encryption);
            QTest::newRow(w.name) << path;
        }
    }

    // The name-to-id map and every descriptor libpst parses pass the checks,
    // and its attachments' data too: the layer changes nothing on a sound file.
    void soundFiles()
    {
        QFETCH(QString, path);
        PstFileHandle h = openIndexed(path);
        QVERIFY2(h, qPrintable(path));
        pst_file* pf = h.get();
        int parsed = 0, attachments = 0;
        for (pst_desc_tree* d = pf->d_head; d; d = pst_getNextDptr(d)) {
            pst_item* item = pst_parse_item(pf, d, nullptr);
            if (!item)
                continue;
            ++parsed;
            QVERIFY2(pstItemStructureSound(pf, d), qPrintable(QStringLiteral("descriptor %1").arg(d->d_id)));
            // pst_attach_to_mem hands over data held in the item: compare
            // with the same attachment of a second parse.
            pst_item* again = pst_parse_item(pf, d, nullptr);
            QVERIFY(again);
            for (pst_item_attach *a = item->attach, *b = again->attach; a && b; a = a->next, b = b->next) {
                if (a->method == PST_ATTACH_EMBEDDED) {
                    pst_item* embedded = pstParseEmbeddedChecked(pf, a);
                    QVERIFY2(embedded, qPrintable(QStringLiteral("embedded in %1").arg(d->d_id)));
                    pst_freeItem(embedded);
                }
                pst_binary got = pstAttachToMemChecked(pf, a);
                pst_binary expected = pst_attach_to_mem(pf, b);
                QCOMPARE(got.size, expected.size);
                QVERIFY(got.size == 0 || std::memcmp(got.data, expected.data, got.size) == 0);
                std::free(expected.data);
                std::free(got.data);
                ++attachments;
            }
            pst_freeItem(again);
            pst_freeItem(item);
        }
        QVERIFY(parsed > 0);
        qInfo("%d items, %d attachments", parsed, attachments);
    }
};

QTEST_GUILESS_MAIN(TestSafeParse)
#include "tst_safeparse.moc"
