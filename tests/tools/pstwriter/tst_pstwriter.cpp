// Round trip of files written by PstWriter through libpst, in both file
// formats and both encryptions.
#include "LibpstRead.h"
#include "PstWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace pstw;

Q_DECLARE_METATYPE(pstw::PstFormat)
Q_DECLARE_METATYPE(pstw::PstEncryption)

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

QDateTime fromFiletime(const FILETIME *ft)
{
    if (!ft)
        return {};
    const uint64_t v = (uint64_t(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
    return QDateTime::fromMSecsSinceEpoch(qint64((v - 116444736000000000ull) / 10000), Qt::UTC);
}

QByteArray bytes(int n, int seed)
{
    QByteArray b(n, '\0');
    uint32_t x = uint32_t(seed) * 2654435761u + 1;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 16);
    }
    return b;
}

} // namespace

class TestPstWriter : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QLatin1Char('-') + QLatin1String(name)); }
    // Text as libpst hands it out: UTF-8 from Unicode files, the code page's bytes from ANSI files.
    static QByteArray expected(PstFormat f, const QString &s)
    {
        if (f == PstFormat::Unicode)
            return s.toUtf8();
        return s.toLatin1();
    }

    void formats()
    {
        QTest::addColumn<PstFormat>("format");
        QTest::addColumn<PstEncryption>("encryption");
        QTest::newRow("unicode") << PstFormat::Unicode << PstEncryption::None;
        QTest::newRow("unicode-compressible") << PstFormat::Unicode << PstEncryption::Compressible;
        QTest::newRow("ansi") << PstFormat::Ansi << PstEncryption::None;
        QTest::newRow("ansi-compressible") << PstFormat::Ansi << PstEncryption::Compressible;
    }

private slots:
    void folders_data() { formats(); }
    void folders()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("folders.pst");
        FolderId inbox, projects, year, contacts;
        {
            PstWriter w(file, format, encryption, QStringLiteral("Test Store"));
            inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
            projects = w.addFolder(inbox, QStringLiteral("Projects"));
            year = w.addFolder(projects, QStringLiteral("2024"));
            contacts = w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
            MessageSpec m;
            m.subject = QStringLiteral("unread");
            m.read = false;
            w.addMail(year, m);
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        PstItemPtr root = f.root();
        QVERIFY(root && root->message_store);
        QCOMPARE(pstStr(root->file_as), expected(format, QStringLiteral("Test Store")));
        pst_desc_tree *top = pst_getTopOfFolders(&f.pf, root.get());
        QVERIFY(top);
        PstItemPtr topItem = f.parse(top);
        QCOMPARE(pstStr(topItem->file_as), QByteArray("Top of Personal Folders"));

        QStringList names;
        for (uint64_t id : f.children(top->d_id))
            names << QString::fromUtf8(pstStr(f.item(id)->file_as));
        names.sort();
        QCOMPARE(names, QStringList({"Contacts", "Deleted Items", "Inbox"}));
        QCOMPARE(f.children(inbox), QList<uint64_t>{projects});
        QCOMPARE(f.children(projects), QList<uint64_t>{year});
        PstItemPtr c = f.item(contacts);
        QVERIFY(c && c->folder);
        QCOMPARE(QByteArray(c->ascii_type), QByteArray("IPF.Contact"));
        PstItemPtr y = f.item(year);
        QVERIFY(y && y->folder);
        QCOMPARE(y->folder->item_count, 1);
        QCOMPARE(y->folder->unseen_item_count, 1);
        QCOMPARE(f.children(year).size(), 1);
    }

    void mail_data() { formats(); }
    void mail()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("mail.pst");
        MessageSpec m;
        m.subject = QStringLiteral("Quarterly report");
        m.body = QStringLiteral("Dear all,\r\nplease find the numbers.\r\n");
        m.html = QByteArray("<html><body><p>Dear all</p></body></html>");
        m.senderName = QStringLiteral("Ann Archer");
        m.senderEmail = QStringLiteral("ann@example.com");
        m.sent = utc(2024, 3, 4, 10, 15);
        m.received = utc(2024, 3, 4, 10, 17);
        m.recipients = {{QStringLiteral("Bob Baker"), QStringLiteral("bob@example.com")},
                        {QStringLiteral("Cy Cole"), QStringLiteral("cy@example.com"), Recipient::Cc},
                        {QStringLiteral("Di Dunn"), QStringLiteral("di@example.com"), Recipient::Bcc}};
        m.messageId = QStringLiteral("<1@example.com>");
        m.props.setInt32(tag::Importance, 2)
            .setTime(tag::ReportTime, utc(2024, 3, 5))
            .setBinary(0x0071, QByteArray("\x01\x02\x03", 3))
            .setInt32(tag::MessageCodepage, 1252);
        MessageId id;
        {
            PstWriter w(file, format, encryption);
            const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
            id = w.addMail(inbox, m);
            QVERIFY(id);
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        PstItemPtr it = f.item(id);
        QVERIFY(it && it->email);
        QCOMPARE(QByteArray(it->ascii_type), QByteArray("IPM.Note"));
        QCOMPARE(pstStr(it->subject), expected(format, m.subject));
        QCOMPARE(pstStr(it->body), expected(format, *m.body));
        QCOMPARE(pstStr(it->email->htmlbody), *m.html);
        QCOMPARE(pstStr(it->email->outlook_sender_name), expected(format, m.senderName));
        QCOMPARE(pstStr(it->email->sentto_address), QByteArray("Bob Baker"));
        QCOMPARE(pstStr(it->email->cc_address), QByteArray("Cy Cole"));
        QCOMPARE(pstStr(it->email->bcc_address), QByteArray("Di Dunn"));
        QCOMPARE(fromFiletime(it->email->sent_date), m.sent);
        QCOMPARE(fromFiletime(it->email->arrival_date), m.received);
        QCOMPARE(fromFiletime(it->email->report_time), utc(2024, 3, 5));
        QCOMPARE(it->email->importance, 2);
        QCOMPARE(it->message_codepage, 1252);
        QCOMPARE(QByteArray(it->email->conversation_index.data, qsizetype(it->email->conversation_index.size)),
                 QByteArray("\x01\x02\x03", 3));
        QCOMPARE(pstStr(it->email->messageid), QByteArray("<1@example.com>"));
    }
};

QTEST_GUILESS_MAIN(TestPstWriter)
#include "tst_pstwriter.moc"
