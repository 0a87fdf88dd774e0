// Round trip of files written by PstWriter through libpst, in both file
// formats and both encryptions.
#include "LibpstRead.h"
#include "PstWriter.h"

extern "C" {
#include <libpst/lzfu.h>
}

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
        MessageId assoc;
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
            MessageSpec view;
            view.messageClass = QStringLiteral("IPM.Microsoft.FolderDesign.NamedView");
            view.subject = QStringLiteral("A view");
            assoc = w.addAssociatedMessage(inbox, view);
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
        // The associated message is the folder's child too, of node type 8,
        // counted apart from the folder's items.
        QCOMPARE(f.children(inbox), (QList<uint64_t>{projects, assoc}));
        QCOMPARE(assoc & 0x1F, 0x08u);
        PstItemPtr a = f.item(assoc);
        QVERIFY(a && a->ascii_type);
        QCOMPARE(QByteArray(a->ascii_type), QByteArray("IPM.Microsoft.FolderDesign.NamedView"));
        PstItemPtr in = f.item(inbox);
        QCOMPARE(in->folder->item_count, 0);
        QCOMPARE(in->folder->assoc_count, 1);
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
        QCOMPARE(pstStr(it->email->processed_subject), expected(format, m.subject));
        QCOMPARE(pstStr(it->body), expected(format, *m.body));
        QCOMPARE(pstStr(it->email->htmlbody), *m.html);
        QCOMPARE(pstStr(it->email->outlook_sender_name), expected(format, m.senderName));
        // libpst's outlook_sender is the search key, as in files Outlook wrote.
        QCOMPARE(pstStr(it->email->outlook_sender), QByteArray("SMTP:ANN@EXAMPLE.COM"));
        QCOMPARE(pstStr(it->email->sender_address), expected(format, m.senderEmail));
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

    void attachments_data() { formats(); }
    void attachments()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("attach.pst");
        MessageSpec inner;
        inner.subject = QStringLiteral("Forwarded original");
        inner.body = QStringLiteral("inner body");
        inner.senderName = QStringLiteral("Eve");
        inner.attachments.push_back(AttachmentSpec::file(QStringLiteral("inner.txt"), "inner attachment"));
        MessageSpec m;
        m.subject = QStringLiteral("Files");
        m.body = QStringLiteral("see attached");
        m.attachments.push_back(AttachmentSpec::file(QStringLiteral("empty.bin"), QByteArray()));
        m.attachments.push_back(AttachmentSpec::file(QStringLiteral("logo image.png"), bytes(700, 1),
                                                     QStringLiteral("image/png"), QStringLiteral("logo@x")));
        AttachmentSpec named = AttachmentSpec::file(QStringLiteral("Quarterly Report 2024.xlsx"), bytes(5000, 2));
        named.shortName = QStringLiteral("QUARTE~1.XLS");
        m.attachments.push_back(named);
        m.attachments.push_back(AttachmentSpec::file(QStringLiteral("big.dat"), bytes(3 * 1024 * 1024 + 17, 3)));
        m.attachments.push_back(AttachmentSpec::message(inner));
        MessageId id;
        {
            PstWriter w(file, format, encryption);
            id = w.addMail(w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox")), m);
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        PstItemPtr it = f.item(id);
        QVERIFY(it);
        // libpst lists the attachments last first.
        QList<pst_item_attach *> atts;
        for (pst_item_attach *a = it->attach; a; a = a->next)
            atts.prepend(a);
        QCOMPARE(atts.size(), 5);
        for (int i = 0; i < 4; ++i) {
            const AttachmentSpec &want = m.attachments[size_t(i)];
            QCOMPARE(pstStr(atts[i]->filename2), want.fileName.toUtf8());
            QCOMPARE(f.attachment(atts[i]), want.data);
            QCOMPARE(atts[i]->method, PST_ATTACH_BY_VALUE);
        }
        QCOMPARE(pstStr(atts[1]->mimetype), QByteArray("image/png"));
        QCOMPARE(pstStr(atts[1]->content_id), QByteArray("logo@x"));
        QCOMPARE(pstStr(atts[1]->filename1), QByteArray("LOGOIMAG.PNG"));
        QCOMPARE(pstStr(atts[2]->filename1), QByteArray("QUARTE~1.XLS"));

        // The embedded message parses as a full message with its own attachment.
        pst_item_attach *e = atts[4];
        QCOMPARE(e->method, PST_ATTACH_EMBEDDED);
        QVERIFY(!pstHas(e->filename2));
        PstItemPtr em = f.embedded(e);
        QVERIFY(em && em->email);
        QCOMPARE(pstStr(em->subject), expected(format, inner.subject));
        QCOMPARE(pstStr(em->body), expected(format, *inner.body));
        QVERIFY(em->attach);
        QCOMPARE(pstStr(em->attach->filename2), QByteArray("inner.txt"));
        QCOMPARE(f.attachment(em->attach), QByteArray("inner attachment"));
    }

    void namedProperties_data() { formats(); }
    void namedProperties()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("named.pst");
        const QList<uint32_t> taskLids = {lid::TaskStatus, lid::PercentComplete, lid::TaskStartDate, lid::TaskDueDate,
                                          lid::TaskDateCompleted, lid::TaskActualEffort, lid::TaskEstimatedEffort,
                                          lid::TaskComplete, lid::TaskOwner};
        QList<uint16_t> ids;
        uint16_t byName = 0;
        {
            PstWriter w(file, format, encryption);
            TaskSpec t;
            t.subject = QStringLiteral("Everything");
            t.start = utc(2024, 1, 1);
            t.due = utc(2024, 1, 2);
            t.completed = utc(2024, 1, 3);
            t.percentComplete = 0.5;
            t.status = 2;
            t.actualEffort = 30;
            t.estimatedEffort = 60;
            t.complete = true;
            t.owner = QStringLiteral("Ann");
            t.props.setText(PropKey::named(pset::publicStrings(), QStringLiteral("X-Marrowin")), QStringLiteral("v"));
            JournalSpec j;
            j.subject = QStringLiteral("Call");
            j.durationMinutes = 90;
            const FolderId tasks = w.addFolder(w.ipmSubtree(), QStringLiteral("Tasks"), QStringLiteral("IPF.Task"));
            w.addTask(tasks, t);
            w.addJournal(tasks, j);
            for (uint32_t l : taskLids)
                ids << w.namedPropertyId(PropKey::named(pset::task(), l));
            ids << w.namedPropertyId(PropKey::named(pset::log(), lid::LogDuration));
            byName = w.namedPropertyId(PropKey::named(pset::publicStrings(), QStringLiteral("X-Marrowin")));
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        QList<uint32_t> want = taskLids;
        want << lid::LogDuration;
        for (int i = 0; i < ids.size(); ++i) {
            QVERIFY(ids[i] >= 0x8000);
            QCOMPARE(f.mappedId(ids[i]), want[i]);
        }
        bool found = false;
        for (pst_x_attrib_ll *x = f.pf.x_head; x; x = x->next)
            if (x->map == byName && x->mytype == PST_MAP_HEADER)
                found = QByteArray(static_cast<const char *>(x->data)) == "X-Marrowin";
        QVERIFY(found);
    }

    void itemKinds_data() { formats(); }
    void itemKinds()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("kinds.pst");
        MessageId contact, appt, task, journal, note;
        {
            PstWriter w(file, format, encryption);
            const FolderId fo = w.addFolder(w.ipmSubtree(), QStringLiteral("Mixed"));
            ContactSpec c;
            c.givenName = QStringLiteral("Ann");
            c.surname = QStringLiteral("Archer");
            c.company = QStringLiteral("Acme");
            c.email1 = QStringLiteral("ann@acme.example");
            c.mobilePhone = QStringLiteral("+1 555 0100");
            c.businessAddress = QStringLiteral("1 Main St\r\nSpringfield");
            contact = w.addContact(fo, c);
            AppointmentSpec a;
            a.subject = QStringLiteral("Standup");
            a.location = QStringLiteral("Room 4");
            a.start = utc(2024, 2, 5, 9, 0);
            a.end = utc(2024, 2, 5, 9, 15);
            a.recurrence = Recurrence{Recurrence::Weekly, 1, 10, QStringLiteral("every Monday")};
            appt = w.addAppointment(fo, a);
            TaskSpec t;
            t.subject = QStringLiteral("Only due");
            t.due = utc(2024, 6, 1);
            task = w.addTask(fo, t);
            JournalSpec j;
            j.subject = QStringLiteral("Phone");
            j.start = utc(2024, 3, 1, 14);
            j.end = utc(2024, 3, 1, 15, 30);
            j.durationMinutes = 90;
            journal = w.addJournal(fo, j);
            NoteSpec n;
            n.subject = QStringLiteral("Remember");
            n.body = QStringLiteral("Remember the milk");
            n.created = utc(2024, 4, 1);
            note = w.addNote(fo, n);
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        PstItemPtr c = f.item(contact);
        QVERIFY(c && c->contact);
        QCOMPARE(c->type, PST_TYPE_CONTACT);
        QCOMPARE(pstStr(c->contact->first_name), QByteArray("Ann"));
        QCOMPARE(pstStr(c->contact->surname), QByteArray("Archer"));
        QCOMPARE(pstStr(c->contact->company_name), QByteArray("Acme"));
        QCOMPARE(pstStr(c->contact->address1), QByteArray("ann@acme.example"));
        QCOMPARE(pstStr(c->contact->mobile_phone), QByteArray("+1 555 0100"));
        QCOMPARE(pstStr(c->contact->business_address), QByteArray("1 Main St\r\nSpringfield"));
        QCOMPARE(pstStr(c->contact->fullname), QByteArray("Archer, Ann"));

        PstItemPtr a = f.item(appt);
        QVERIFY(a && a->appointment);
        QCOMPARE(a->type, PST_TYPE_APPOINTMENT);
        QCOMPARE(fromFiletime(a->appointment->start), utc(2024, 2, 5, 9, 0));
        QCOMPARE(fromFiletime(a->appointment->end), utc(2024, 2, 5, 9, 15));
        QCOMPARE(pstStr(a->appointment->location), QByteArray("Room 4"));
        QCOMPARE(pstStr(a->appointment->recurrence_description), QByteArray("every Monday"));
        QVERIFY(a->appointment->is_recurring);
        pst_recurrence *r = pst_convert_recurrence(a->appointment);
        QVERIFY(r);
        QCOMPARE(r->type, 1u);
        QCOMPARE(r->interval, 1u);
        QCOMPARE(r->count, 10u);
        QCOMPARE(r->bydaymask, 2u);   // Monday
        pst_free_recurrence(r);

        PstItemPtr t = f.item(task);
        QVERIFY(t);
        QCOMPARE(t->type, PST_TYPE_TASK);
        QCOMPARE(pstStr(t->subject), QByteArray("Only due"));

        PstItemPtr j = f.item(journal);
        QVERIFY(j && j->journal);
        QCOMPARE(j->type, PST_TYPE_JOURNAL);
        QCOMPARE(fromFiletime(j->journal->start), utc(2024, 3, 1, 14));
        QCOMPARE(fromFiletime(j->journal->end), utc(2024, 3, 1, 15, 30));
        QCOMPARE(pstStr(j->journal->type), QByteArray("Phone call"));

        PstItemPtr n = f.item(note);
        QVERIFY(n);
        QCOMPARE(n->type, PST_TYPE_STICKYNOTE);
        QCOMPARE(pstStr(n->body), QByteArray("Remember the milk"));
        QCOMPARE(fromFiletime(n->create_date), utc(2024, 4, 1));
    }

    void strings_data() { formats(); }
    void strings()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("strings.pst");
        const QString chinese = QString::fromUtf8("\xe4\xbc\x9a\xe8\xae\xae\xe7\xba\xaa\xe8\xa6\x81"); // 会议纪要
        const QString french = QString::fromUtf8("R\xc3\xa9sum\xc3\xa9 \xe2\x82\xac");              // Résumé €
        MessageId gbk, cp1252, rtf;
        const QByteArray rtfText = "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Arial;}} \\f0 Hello \\b bold\\b0 text, Hello again.\\par }";
        {
            PstWriter w(file, format, encryption);
            const FolderId fo = w.addFolder(w.ipmSubtree(), QStringLiteral("Strings"));
            MessageSpec a;
            a.props.setString8(tag::Subject, chinese, "GBK");   // no code page property
            gbk = w.addMail(fo, a);
            MessageSpec b;
            b.props.setString8(tag::Subject, french, "WINDOWS-1252").setInt32(tag::MessageCodepage, 1252);
            cp1252 = w.addMail(fo, b);
            MessageSpec c;
            c.subject = QStringLiteral("rtf");
            c.rtf = rtfText;
            rtf = w.addMail(fo, c);
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        PstItemPtr a = f.item(gbk);
        QVERIFY(a);
        QCOMPARE(a->subject.is_utf8, 0);
        QCOMPARE(pstStr(a->subject), QByteArray("\xbb\xe1\xd2\xe9\xbc\xcd\xd2\xaa"));
        QCOMPARE(a->message_codepage, 0);
        PstItemPtr b = f.item(cp1252);
        QCOMPARE(pstStr(b->subject), QByteArray("R\xe9sum\xe9 \x80"));
        QCOMPARE(b->message_codepage, 1252);
        PstItemPtr c = f.item(rtf);
        QVERIFY(c && c->email && c->email->rtf_compressed.data);
        size_t size = 0;
        char *plain = pst_lzfu_decompress(c->email->rtf_compressed.data, uint32_t(c->email->rtf_compressed.size), &size);
        QVERIFY(plain);
        QCOMPARE(QByteArray(plain, qsizetype(size)), rtfText);
        free(plain);
    }

    // Structures that span more than one page or block.
    void formatEdges_data() { formats(); }
    void formatEdges()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString file = path("edges.pst");
        const int xblockBytes = format == PstFormat::Unicode ? 1021 * 8176 : 2043 * 8180;
        const QByteArray huge = bytes(xblockBytes + 5000, 9);
        QList<FolderId> subfolders;
        QList<MessageId> mails;
        MessageId bigPc;
        FolderId wide;
        MessageSpec big;
        {
            PstWriter w(file, format, encryption);
            wide = w.addFolder(w.ipmSubtree(), QStringLiteral("Wide"));
            for (int i = 0; i < 120; ++i)
                subfolders << w.addFolder(wide, QStringLiteral("Sub %1").arg(i, 3, 10, QLatin1Char('0')));
            for (int i = 0; i < 400; ++i) {
                MessageSpec m;
                m.subject = QStringLiteral("Mail %1").arg(i);
                m.body = QStringLiteral("body %1").arg(i);
                mails << w.addMail(wide, m);
            }
            // A property context over several heap blocks: many values just under the heap item limit.
            big.subject = QStringLiteral("big");
            big.body = QString(3000, QLatin1Char('b'));
            for (int i = 0; i < 12; ++i)
                big.props.setBinary(uint16_t(0x6800 + i), bytes(3400, 20 + i));
            big.attachments.push_back(AttachmentSpec::file(QStringLiteral("huge.bin"), huge));
            bigPc = w.addMail(w.ipmSubtree(), big);
            QVERIFY(w.finish());
        }
        LibpstFile f(file);
        QVERIFY(f.ok());
        const QList<uint64_t> kids = f.children(wide);
        QCOMPARE(kids.size(), 120 + 400);
        PstItemPtr wf = f.item(wide);
        QCOMPARE(wf->folder->item_count, 400);
        QCOMPARE(pstStr(f.item(subfolders.last())->file_as), QByteArray("Sub 119"));
        PstItemPtr last = f.item(mails.last());
        QCOMPARE(pstStr(last->subject), QByteArray("Mail 399"));
        PstItemPtr b = f.item(bigPc);
        QVERIFY(b && b->attach);
        QCOMPARE(pstStr(b->body), expected(format, *big.body));
        QCOMPARE(f.attachment(b->attach), huge);
    }
};

QTEST_GUILESS_MAIN(TestPstWriter)
#include "tst_pstwriter.moc"
