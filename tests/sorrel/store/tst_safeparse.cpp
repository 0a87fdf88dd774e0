// The validating layer in front of libpst's item parse: it refuses no item of
// a sound file (real-world files and written ones of every kind and format),
// and it refuses, counts and skips items whose structures are damaged, each
// kind of damage on its own, without a crash.

#include "PstWriter.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstSafeParse.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

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
void writeMailbox(const QString& path, PstFormat format, PstEncryption encryption)
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
    w.addMessage(inbox, m);
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
    QVERIFY2(w.finish(), qPrintable(w.errorString()));
}

} // namespace

class TestSafeParse : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
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
