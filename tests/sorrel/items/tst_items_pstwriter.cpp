// Records read back from generated PST files, Unicode and ANSI: every key of
// every kind, dates, the task and journal cases, message classes, nameless
// attachments, attachments of every kind and attached messages, senders
// known only by their Exchange path, wrong-typed values and 8-bit texts.

#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"

#include "PstWriter.h"

#include <QtTest>

using namespace pstw;

namespace {

const QDateTime kSent(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
const QDateTime kStart(QDate(2024, 6, 3), QTime(9, 0), Qt::UTC);
const QByteArray kGbkSubject("\xD6\xD0\xCE\xC4\xD6\xF7\xCC\xE2");  // 中文主题
const QByteArray kPng("\x89PNG\r\n\x1a\n-fake-image-bytes");

struct Fixture {
    PstFileHandle handle;
    QHash<QString, MessageId> ids;
    int records = 0;
};

PropKey task(uint32_t l) { return PropKey::named(pset::task(), l); }

QString writeFixture(const QString& path, PstFormat format, QHash<QString, MessageId>* ids)
{
    PstWriter w(path, format);
    const FolderId inbox = w.addFolder(w.ipmSubtree(), "Inbox");
    const FolderId contacts = w.addFolder(w.ipmSubtree(), "Contacts", "IPF.Contact");
    const FolderId calendar = w.addFolder(w.ipmSubtree(), "Calendar", "IPF.Appointment");
    const FolderId tasks = w.addFolder(w.ipmSubtree(), "Tasks", "IPF.Task");
    const FolderId journal = w.addFolder(w.ipmSubtree(), "Journal", "IPF.Journal");
    const FolderId notes = w.addFolder(w.ipmSubtree(), "Notes", "IPF.StickyNote");

    MessageSpec full;
    full.subject = "Quarterly report";
    full.body = QStringLiteral("Plain body");
    full.html = QByteArray("<html><body><p>Hi <img src=\"cid:logo\"></p></body></html>");
    full.senderName = "Ann Lee";
    full.senderEmail = "ann@example.com";
    full.sent = kSent;
    full.received = kSent.addSecs(60);
    full.recipients = {{"Bob", "bob@example.com"}, {"Cy", "cy@example.com", Recipient::Cc},
                       {"Di", "di@example.com", Recipient::Bcc}};
    full.props.setTime(tag::ReportTime, kSent.addSecs(120));
    full.attachments.push_back(AttachmentSpec::file("A.txt", "alpha", "text/plain"));
    AttachmentSpec nameless = AttachmentSpec::file("ignored.bin", "nameless");
    nameless.noFileName = true;
    full.attachments.push_back(nameless);
    full.attachments.push_back(AttachmentSpec::file("logo.png", kPng, "image/png", "logo"));
    ids->insert("full", w.addMail(inbox, full));

    auto mailOf = [&](const QString& key, const QString& cls, const QString& subject) {
        MessageSpec m;
        m.messageClass = cls;
        m.subject = subject;
        m.body = QStringLiteral("body of ") + subject;
        m.senderName = "Ann Lee";
        m.senderEmail = "ann@example.com";
        m.sent = kSent;
        ids->insert(key, w.addMail(inbox, m));
        return m;
    };
    MessageSpec signedMail;
    signedMail.messageClass = "IPM.Note.SMIME.MultipartSigned";
    signedMail.subject = "Signed";
    signedMail.senderName = "Ann Lee";
    signedMail.attachments.push_back(AttachmentSpec::file("smime.p7m", "signed-bytes", "multipart/signed"));
    ids->insert("signed", w.addMail(inbox, signedMail));
    mailOf("ndr", "REPORT.IPM.Note.NDR", "Undeliverable: Lunch");
    mailOf("lower", "ipm.note", "Lower case class");
    mailOf("post", "IPM.Post", "A post");

    AppointmentSpec meeting;
    meeting.subject = "Planning";
    meeting.location = "Room 4";
    meeting.start = kStart;
    meeting.end = kStart.addSecs(5400);
    meeting.organizerName = "Ann Lee";
    meeting.organizerEmail = "ann@example.com";
    meeting.attendees = {{"Bob", "bob@example.com"}};
    meeting.meetingRequest = true;
    ids->insert("meeting", w.addAppointment(inbox, meeting));

    MessageSpec exchange;
    exchange.subject = "From Exchange";
    exchange.senderName = "Ann Lee";
    exchange.props.setText(tag::SentRepresentingEmailAddress, "/o=ExchangeLabs/ou=Exchange/cn=Recipients/cn=ann");
    ids->insert("exchange", w.addMail(inbox, exchange));

    MessageSpec undated;
    undated.subject = "No date";
    ids->insert("undated", w.addMail(inbox, undated));

    MessageSpec wrongTypes;
    wrongTypes.subject = "Wrong types";
    wrongTypes.props.setInt32(tag::ClientSubmitTime, 12345);
    wrongTypes.props.setInt32(tag::DisplayTo, 7);
    ids->insert("wrongTypes", w.addMail(inbox, wrongTypes));

    // 8-bit texts: bytes as stored, no code page on the message.
    MessageSpec gbk;
    gbk.props.setString8(tag::Subject, kGbkSubject);
    gbk.props.setString8(tag::ConversationTopic, kGbkSubject);
    gbk.props.setString8(tag::Body, QByteArray("\xC4\xE3\xBA\xC3"));
    ids->insert("gbk", w.addMail(inbox, gbk));
    MessageSpec latin;
    latin.props.setString8(tag::Subject, QByteArray("caf\xE9"));
    latin.props.setString8(tag::ConversationTopic, QByteArray("caf\xE9"));
    latin.props.setString8(tag::SentRepresentingName, QByteArray("Jos\xE9 \x93Pepe\x94"));
    ids->insert("cp1252", w.addMail(inbox, latin));
    MessageSpec gbHtml;
    gbHtml.subject = "GB html";
    gbHtml.html = QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                             "</head><body>\xC4\xE3\xBA\xC3</body></html>");
    ids->insert("gbHtml", w.addMail(inbox, gbHtml));
    MessageSpec winHtml;
    winHtml.subject = "1252 html";
    winHtml.html = QByteArray("<html><head><meta charset=\"windows-1252\"></head><body>caf\xE9</body></html>");
    ids->insert("winHtml", w.addMail(inbox, winHtml));
    MessageSpec bareHtml;
    bareHtml.subject = "undeclared html";
    bareHtml.html = QByteArray("<p>caf\xE9</p>");
    ids->insert("bareHtml", w.addMail(inbox, bareHtml));
    MessageSpec accented;  // 8-bit in ANSI files, without a code page
    accented.subject = QString::fromUtf8("Résumé attached");
    accented.attachments.push_back(AttachmentSpec::file(QString::fromUtf8("Résumé.txt"), "cv"));
    ids->insert("accented", w.addMail(inbox, accented));
    MessageSpec declared;  // a code page on the message: libpst converts
    declared.props.setInt32(tag::MessageCodepage, 936);
    declared.props.setString8(tag::ConversationTopic, kGbkSubject);
    declared.props.setString8(tag::SentRepresentingName, QByteArray("\xB0\xA1"));
    ids->insert("declared", w.addMail(inbox, declared));

    // Subjects: the item's own, else its conversation topic.
    MessageSpec forward;  // a forward's topic is the original's subject
    forward.subject = "FW: New PNR points for Transwestern";
    forward.props.setText(tag::ConversationTopic, "New PNR points for Transwestern");
    ids->insert("forward", w.addMail(inbox, forward));
    MessageSpec topicOnly;
    topicOnly.props.setText(tag::ConversationTopic, "Only a topic");
    ids->insert("topicOnly", w.addMail(inbox, topicOnly));
    MessageSpec gbkSubject;  // 8-bit subject without a topic, no code page
    gbkSubject.props.setString8(tag::Subject, QString::fromUtf8("会议纪要：第二季度计划"), "GBK");
    ids->insert("gbkSubject", w.addMail(inbox, gbkSubject));
    MessageSpec cyrillicSubject;  // 8-bit subject with its code page
    cyrillicSubject.props.setString8(tag::Subject, QString::fromUtf8("Отчёт за март"), "WINDOWS-1251");
    cyrillicSubject.props.setInt32(tag::MessageCodepage, 1251);
    ids->insert("cyrillicSubject", w.addMail(inbox, cyrillicSubject));

    // A forward carries its original (and one more message) as attached messages.
    MessageSpec original;
    original.subject = "Lunch on Friday";
    original.body = QStringLiteral("Noon at the usual place");
    MessageSpec slashed;
    slashed.subject = "Q1/Q2 plan";
    MessageSpec forwarded;
    forwarded.subject = "FW: Lunch on Friday";
    forwarded.senderName = "Ann Lee";
    forwarded.attachments.push_back(AttachmentSpec::message(original));
    forwarded.attachments.push_back(AttachmentSpec::file("menu.pdf", "%PDF-menu"));
    forwarded.attachments.push_back(AttachmentSpec::message(slashed));
    ids->insert("forwarded", w.addMail(inbox, forwarded));

    // Bodies kept only as compressed RTF, in both forms; a plain body wins.
    MessageSpec rtfText;
    rtfText.subject = "Synchronization Log:";
    rtfText.rtf = QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0 "
                             "13:41 Synchronizer\\par 13:42 Done\\par}");
    ids->insert("rtfText", w.addMail(inbox, rtfText));
    MessageSpec rtfHtml;
    rtfHtml.subject = "Encapsulated HTML";
    rtfHtml.rtf = QByteArray("{\\rtf1\\ansi\\fromhtml1 \\deff0{\\fonttbl{\\f0 Arial;}}"
                             "{\\*\\htmltag <html><body><p>}Hello {\\*\\htmltag <img src=\"cid:logo\">}"
                             "\\htmlrtf [image]\\htmlrtf0{\\*\\htmltag </p></body></html>}}");
    rtfHtml.attachments.push_back(AttachmentSpec::file("logo.png", kPng, "image/png", "logo"));
    ids->insert("rtfHtml", w.addMail(inbox, rtfHtml));
    MessageSpec rtfAndBody;
    rtfAndBody.subject = "Both";
    rtfAndBody.body = QStringLiteral("Plain wins");
    rtfAndBody.rtf = QByteArray("{\\rtf1 RTF loses}");
    ids->insert("rtfAndBody", w.addMail(inbox, rtfAndBody));


    // their SMTP addresses.
    const QString exchangePath = "/o=ExchangeLabs/ou=Exchange/cn=Recipients/cn=ann";
    MessageSpec smtpBoth;
    smtpBoth.subject = "Exchange sender with SMTP addresses";
    smtpBoth.senderName = "Ann Lee";
    smtpBoth.props.setText(tag::SentRepresentingEmailAddress, exchangePath);
    smtpBoth.props.setText(PropKey(0x5D02), "ann@example.com");
    smtpBoth.props.setText(PropKey(0x5D01), "assistant@example.com");
    ids->insert("smtpBoth", w.addMail(inbox, smtpBoth));
    MessageSpec smtpSender;
    smtpSender.subject = "Exchange sender, sender SMTP only";
    smtpSender.senderName = "Ann Lee";
    smtpSender.props.setText(tag::SentRepresentingEmailAddress, exchangePath);
    smtpSender.props.setText(PropKey(0x5D01), "ann.lee@example.com");
    ids->insert("smtpSender", w.addMail(inbox, smtpSender));

    ContactSpec c;
    c.givenName = "Ann"; c.surname = "Lee"; c.fileUnder = "Lee, Ann"; c.company = "Acme";
    c.department = "Sales"; c.jobTitle = "Manager";
    c.email1 = "ann@example.com"; c.email2 = "ann@home.example"; c.email3 = "al@example.org";
    c.businessPhone = "555-0001"; c.homePhone = "555-0002"; c.mobilePhone = "555-0003";
    c.carPhone = "555-0004"; c.otherPhone = "555-0005"; c.callbackPhone = "555-0006";
    c.companyPhone = "555-0007"; c.primaryFax = "555-0008"; c.businessFax = "555-0009"; c.homeFax = "555-0010";
    c.homeAddress = "1 Home St"; c.businessAddress = "2 Work Ave"; c.otherAddress = "3 Other Rd";
    c.businessHomePage = "https://acme.example"; c.personalHomePage = "https://ann.example";
    c.note = "Met at the fair";
    ids->insert("contact", w.addContact(contacts, c));
    ContactSpec subContact;
    subContact.givenName = "Sub";
    subContact.surname = "Class";
    MessageSpec customContact = subContact.toMessage();
    customContact.messageClass = "IPM.Contact.Custom";
    ids->insert("contactSub", w.addMessage(contacts, customContact));

    AppointmentSpec a;
    a.subject = "Standup";
    a.location = "Room 1";
    a.body = "Bring notes";
    a.start = kStart;
    a.end = kStart.addSecs(5400);
    a.recurrence = Recurrence{Recurrence::Weekly, 1, 10, "every Monday"};
    ids->insert("appointment", w.addAppointment(calendar, a));
    MessageSpec occurrence = a.toMessage();
    occurrence.messageClass = "IPM.Appointment.Occurrence";
    ids->insert("appointmentSub", w.addMessage(calendar, occurrence));

    // Every kind keeps its attachments.
    auto withFiles = [](MessageSpec m, const QStringList& names) {
        for (const QString& name : names)
            m.attachments.push_back(AttachmentSpec::file(name, "bytes of " + name.toUtf8()));
        return m;
    };
    AppointmentSpec review;
    review.subject = "Review";
    review.start = kStart;
    review.end = kStart.addSecs(3600);
    ids->insert("appointmentFiles", w.addMessage(calendar, withFiles(review.toMessage(), {"invite.ics", "agenda.pdf"})));
    TaskSpec plan;
    plan.subject = "Plan";
    ids->insert("taskFile", w.addMessage(tasks, withFiles(plan.toMessage(), {"steps.txt"})));
    ContactSpec carded;
    carded.givenName = "Cy";
    ids->insert("contactFile", w.addMessage(contacts, withFiles(carded.toMessage(), {"photo.jpg"})));
    JournalSpec minuted;
    minuted.subject = "Minutes";
    ids->insert("journalFile", w.addMessage(journal, withFiles(minuted.toMessage(), {"minutes.docx"})));
    NoteSpec guest;
    guest.subject = "Wi-Fi";
    guest.body = "guest: tea-time-2024";
    ids->insert("noteFile", w.addMessage(notes, withFiles(guest.toMessage(), {"router.png"})));

    TaskSpec t;
    t.subject = "File taxes";
    t.body = "before April";
    t.start = kStart;
    t.due = kStart.addDays(7);
    t.completed = kStart.addDays(5);
    t.percentComplete = 0.755;
    t.status = 2;
    t.actualEffort = 60;
    t.estimatedEffort = 960;
    t.complete = true;
    t.owner = "Ann Lee";
    ids->insert("task", w.addTask(tasks, t));
    TaskSpec dueOnly;
    dueOnly.subject = "Due only";
    dueOnly.due = kStart;
    ids->insert("taskDue", w.addTask(tasks, dueOnly));
    TaskSpec none;  // Outlook's "none" for both dates
    none.subject = "Someday";
    none.start = none.due = QDateTime(QDate(4501, 1, 1), QTime(0, 0), Qt::UTC);
    ids->insert("taskNone", w.addTask(tasks, none));
    TaskSpec half;
    half.subject = "Half";
    half.percentComplete = 0.5;
    half.complete = false;
    ids->insert("taskHalf", w.addTask(tasks, half));
    TaskSpec done;
    done.subject = "Done";
    done.percentComplete = 1.0;
    ids->insert("taskDone", w.addTask(tasks, done));
    TaskSpec oddTypes;
    oddTypes.subject = "Odd types";
    oddTypes.props.setInt32(task(lid::TaskDueDate), 5);          // not a date: ignored
    oddTypes.props.setInt32(task(lid::PercentComplete), 1);      // too short for a double
    oddTypes.props.setString8(task(lid::TaskStatus), QByteArray("\x03\0\0\0", 4));
    ids->insert("taskOdd", w.addTask(tasks, oddTypes));
    TaskSpec customTask;
    customTask.subject = "Custom task";
    customTask.status = 1;
    MessageSpec taskSub = customTask.toMessage();
    taskSub.messageClass = "IPM.Task.Custom";
    ids->insert("taskSub", w.addMessage(tasks, taskSub));

    JournalSpec j;
    j.subject = "Call with Bob";
    j.body = "Talked budgets";
    j.type = "Phone call";
    j.typeDescription = "Telephone";
    j.start = kStart;
    j.end = kStart.addSecs(5400);
    j.durationMinutes = 90;
    ids->insert("journal", w.addJournal(journal, j));
    JournalSpec noDuration;
    noDuration.subject = "No duration";
    noDuration.start = kStart;
    ids->insert("journalPlain", w.addJournal(journal, noDuration));
    JournalSpec customJournal;
    customJournal.subject = "Custom journal";
    customJournal.durationMinutes = 61;
    MessageSpec journalSub = customJournal.toMessage();
    journalSub.messageClass = "IPM.Activity.Custom";
    ids->insert("journalSub", w.addMessage(journal, journalSub));

    NoteSpec n;
    n.subject = "Milk";
    n.body = "Milk\r\nEggs";
    n.created = kSent;
    n.modified = kSent.addSecs(3600);
    ids->insert("note", w.addNote(notes, n));
    NoteSpec pinkNote;
    pinkNote.subject = "Pink";
    pinkNote.created = kSent;
    MessageSpec noteSub = pinkNote.toMessage();
    noteSub.messageClass = "IPM.StickyNote.Pink";
    ids->insert("noteSub", w.addMessage(notes, noteSub));

    if (!w.finish())
        return w.errorString();
    return QString();
}

} // namespace

class TestItemsPstWriter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void initTestCase_data();
    void everyObjectBuilds();
    void mailKeys();
    void messageClasses();
    void attachments();
    void contactKeys();
    void appointmentKeys();
    void taskCases();
    void journalCases();
    void noteKeys();
    void wrongTypes();
    void eightBitTexts();
    void missingDates();
    void subjects_data();
    void subjects();
    void attachmentsOfEveryKind_data();
    void attachmentsOfEveryKind();
    void attachedMessages();
    void exchangeSenders_data();
    void exchangeSenders();
    void rtfBodies();

private:
    Fixture& fixture();
    PstItemPtr record(const QString& key);

    QTemporaryDir m_dir;
    Fixture m_fixtures[2];
};

void TestItemsPstWriter::initTestCase_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("unicode") << int(PstFormat::Unicode);
    QTest::newRow("ansi") << int(PstFormat::Ansi);
}

void TestItemsPstWriter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (int f = 0; f < 2; ++f) {
        const QString path = m_dir.filePath(QStringLiteral("items-%1.pst").arg(f));
        const QString error = writeFixture(path, PstFormat(f), &m_fixtures[f].ids);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        PstFileHandle h = makePstFileHandle();
        QMutexLocker lock(&pstLibraryMutex());
        QCOMPARE(pst_open(h.get(), QFile::encodeName(path).constData(), nullptr), 0);
        QCOMPARE(pst_load_index(h.get()), 0);
        QCOMPARE(pst_load_extended_attributes(h.get()), 1);
        m_fixtures[f].handle = h;
    }
}

Fixture& TestItemsPstWriter::fixture()
{
    QFETCH_GLOBAL(int, format);
    return m_fixtures[format];
}

PstItemPtr TestItemsPstWriter::record(const QString& key)
{
    Fixture& f = fixture();
    const MessageId id = f.ids.value(key);
    if (!id)
        qWarning() << "no fixture message" << key;
    return loadItemById(f.handle, id);
}

void TestItemsPstWriter::everyObjectBuilds()
{
    // Walk the folders below the top of folders through the factory, as the
    // loaders do for every object that is not a folder.
    Fixture& f = fixture();
    QHash<PstItemKind, int> kinds;
    int folders = 0;
    QMutexLocker lock(&pstLibraryMutex());
    pst_item* root = pst_parse_item(f.handle.get(), f.handle->d_head, nullptr);
    QVERIFY(root);
    pst_desc_tree* top = pst_getTopOfFolders(f.handle.get(), root);
    pst_freeItem(root);
    QVERIFY(top && top->child);
    QList<pst_desc_tree*> pending = {top->child};
    while (!pending.isEmpty()) {
        for (pst_desc_tree* d = pending.takeFirst(); d; d = d->next) {
            if (d->child)
                pending << d->child;
            pst_item* item = pst_parse_item(f.handle.get(), d, nullptr);
            if (!item)
                continue;
            if (PstItemPtr r = createItemRecord(f.handle.get(), d, item)) {
                ++kinds[r->kind()];
                // Every kind carries its descriptor id and is found by it.
                QCOMPARE(r->id(), d->d_id);
                const PstItemPtr again = loadItemById(f.handle, r->id());
                QVERIFY(again && again->kind() == r->kind());
            } else if (item->folder)
                ++folders;
            pst_freeItem(item);
        }
    }
    QCOMPARE(kinds.value(PstItemKind::Mail), 26);
    QCOMPARE(kinds.value(PstItemKind::Contact), 3);
    QCOMPARE(kinds.value(PstItemKind::Calendar), 3);
    QCOMPARE(kinds.value(PstItemKind::Task), 8);
    QCOMPARE(kinds.value(PstItemKind::Journal), 4);
    QCOMPARE(kinds.value(PstItemKind::Note), 3);
    QCOMPARE(kinds.value(PstItemKind::Folder), 0);  // folders are no items
    QCOMPARE(folders, 7);
}

void TestItemsPstWriter::mailKeys()
{
    auto mail = std::dynamic_pointer_cast<PstMailItem>(record("full"));
    QVERIFY(mail);
    QCOMPARE(mail->id(), uint64_t(fixture().ids.value("full")));
    QCOMPARE(mail->subject(), QStringLiteral("Quarterly report"));
    QCOMPARE(mail->sender(), QStringLiteral("Ann Lee"));
    QCOMPARE(mail->senderAddr(), QStringLiteral("ann@example.com"));
    QCOMPARE(mail->recipients(), QStringLiteral("Bob"));
    QCOMPARE(mail->cc(), QStringLiteral("Cy"));
    QCOMPARE(mail->bcc(), QStringLiteral("Di"));
    QCOMPARE(mail->sentDate(), kSent.toSecsSinceEpoch());
    QCOMPARE(mail->arrivalDate(), kSent.toSecsSinceEpoch() + 60);
    QCOMPARE(mail->date(PstKey::ReportTime), kSent.toSecsSinceEpoch() + 120);
    // The body is no part of the record: it is read again from the file.
    const PstItemBody body = mail->loadBody();
    QCOMPARE(body.plain, QStringLiteral("Plain body"));
    QVERIFY(body.html.contains(QStringLiteral("cid:logo")));
    QCOMPARE(mail->fieldText(PstSearchField::Body).simplified(), QStringLiteral("Plain body Hi"));
    QVERIFY(mail->fieldText(PstSearchField::Any).simplified().endsWith(QStringLiteral(" Plain body Hi")));
    QCOMPARE(mail->sortTime(), kSent.toSecsSinceEpoch());
    QCOMPARE(mail->title(), QStringLiteral("Ann Lee"));
    QCOMPARE(mail->filePath().isEmpty(), false);

    auto exchange = std::dynamic_pointer_cast<PstMailItem>(record("exchange"));
    QVERIFY(exchange->has(PstKey::SenderAddr));
    QCOMPARE(exchange->senderAddr(), QString());
    QCOMPARE(exchange->fieldText(PstSearchField::From), QStringLiteral("Ann Lee "));

    auto undated = record("undated");
    QVERIFY(!undated->has(PstKey::SentDate));
    QCOMPARE(undated->sortTime(), qint64(0));
}

void TestItemsPstWriter::messageClasses()
{
    for (const char* key : {"signed", "ndr", "meeting", "lower", "post"}) {
        PstItemPtr r = record(key);
        QVERIFY2(r, key);
        QVERIFY2(r->kind() == PstItemKind::Mail, key);
    }
    QCOMPARE(record("ndr")->subject(), QStringLiteral("Undeliverable: Lunch"));
    QCOMPARE(record("meeting")->subject(), QStringLiteral("Planning"));
    auto signedMail = std::dynamic_pointer_cast<PstMailItem>(record("signed"));
    QCOMPARE(signedMail->attachments().size(), 1);
    QCOMPARE(signedMail->attachments().first()->name, QStringLiteral("smime.p7m"));
    QCOMPARE(record("contactSub")->kind(), PstItemKind::Contact);
    QCOMPARE(record("appointmentSub")->kind(), PstItemKind::Calendar);
    QCOMPARE(record("taskSub")->kind(), PstItemKind::Task);
    QCOMPARE(record("journalSub")->kind(), PstItemKind::Journal);
    QCOMPARE(record("noteSub")->kind(), PstItemKind::Note);
    QCOMPARE(std::static_pointer_cast<PstTaskItem>(record("taskSub"))->status(), 1);
    QCOMPARE(std::static_pointer_cast<PstJournalItem>(record("journalSub"))->duration(), qint64(61));
}

void TestItemsPstWriter::attachments()
{
    auto mail = std::dynamic_pointer_cast<PstMailItem>(record("full"));
    QVERIFY(mail);
    // The nameless one is skipped, the walk goes on past it.
    QCOMPARE(mail->attachments().size(), 2);
    std::shared_ptr<Attachment> text, logo;
    for (const auto& a : mail->attachments())
        (a->name == QLatin1String("A.txt") ? text : logo) = a;
    QVERIFY(text && logo);
    QCOMPARE(logo->name, QStringLiteral("logo.png"));
    QVERIFY(text->contentId.isEmpty());
    QCOMPARE(logo->contentId, QStringLiteral("logo"));
    // Both keep their bytes inline (libpst id 0): each still gets its own.
    QCOMPARE(mail->loadAttachmentData(*text), QByteArray("alpha"));
    QCOMPARE(mail->loadAttachmentData(*logo), kPng);

    // The shown HTML inlines the image named by content id.
    const QString html = mail->displayHtml();
    QVERIFY2(html.contains(QStringLiteral("src=\"data:image/png;base64,") + QString::fromLatin1(kPng.toBase64())),
             qPrintable(html));

    // A clone shares the attachment records; without the file's handle
    // nothing loads.
    auto clone = std::static_pointer_cast<PstMailItem>(mail->clone());
    QCOMPARE(clone->attachments(), mail->attachments());
    clone->setDocument({});
    QVERIFY(clone->loadAttachmentData(*text).isEmpty());
    QVERIFY(clone->loadBody().isEmpty());
}

void TestItemsPstWriter::contactKeys()
{
    PstItemPtr r = record("contact");
    QVERIFY(r && r->kind() == PstItemKind::Contact);
    using namespace PstKey;
    const QList<QPair<QString, QString>> expected = {
        {FullName, "Lee, Ann"}, {FirstName, "Ann"}, {Surname, "Lee"}, {CompanyName, "Acme"},
        {Department, "Sales"}, {JobTitle, "Manager"}, {OtherPhone, "555-0005"}, {CarPhone, "555-0004"},
        {CallbackPhone, "555-0006"}, {MobilePhone, "555-0003"}, {HomePhone, "555-0002"},
        {BusinessPhone, "555-0001"}, {CompanyPhone, "555-0007"}, {PrimaryFax, "555-0008"},
        {BusinessFax, "555-0009"}, {HomeFax, "555-0010"}, {OtherAddress, "3 Other Rd"},
        {BusinessAddress, "2 Work Ave"}, {HomeAddress, "1 Home St"}, {PrimaryEmail, "ann@example.com"},
        {SecondaryEmail, "ann@home.example"}, {TertiaryEmail, "al@example.org"},
        {BusinessPage, "https://acme.example"}, {PersonalPage, "https://ann.example"},
    };
    for (const auto& [key, value] : expected)
        QCOMPARE(r->text(key) + " [" + key + "]", value + " [" + key + "]");
    QCOMPARE(r->title(), QStringLiteral("Ann Lee"));
    QCOMPARE(r->subject(), QStringLiteral("ann@example.com"));
    QCOMPARE(r->loadBody().plain, QStringLiteral("Met at the fair"));
    QVERIFY(r->fieldText(PstSearchField::Body).endsWith(QStringLiteral(" Met at the fair")));
}

void TestItemsPstWriter::appointmentKeys()
{
    PstItemPtr r = record("appointment");
    QVERIFY(r && r->kind() == PstItemKind::Calendar);
    QCOMPARE(r->title(), QStringLiteral("Standup"));
    QCOMPARE(r->text(PstKey::Location), QStringLiteral("Room 1"));
    QCOMPARE(r->infoSections(r->loadBody()).last().rows.first().second, QStringLiteral("Bring notes"));
    QCOMPARE(r->text(PstKey::RecurrenceDescription), QStringLiteral("every Monday"));
    QCOMPARE(r->date(PstKey::StartDate), kStart.toSecsSinceEpoch());
    QCOMPARE(r->date(PstKey::EndDate), kStart.toSecsSinceEpoch() + 5400);
    QCOMPARE(r->durationText(), QStringLiteral("1h 30m"));
    QCOMPARE(r->sortTime(), kStart.toSecsSinceEpoch());
}

void TestItemsPstWriter::taskCases()
{
    auto t = std::dynamic_pointer_cast<PstTaskItem>(record("task"));
    QVERIFY(t);
    QCOMPARE(t->title(), QStringLiteral("File taxes"));
    QCOMPARE(t->text(PstKey::Owner), QStringLiteral("Ann Lee"));
    QCOMPARE(t->loadBody().plain, QStringLiteral("before April"));
    QCOMPARE(t->date(PstKey::StartDate), kStart.toSecsSinceEpoch());
    QCOMPARE(t->date(PstKey::DueDate), kStart.addDays(7).toSecsSinceEpoch());
    QCOMPARE(t->date(PstKey::CompletedDate), kStart.addDays(5).toSecsSinceEpoch());
    QCOMPARE(t->percentComplete(), 75);
    QCOMPARE(t->status(), 2);
    QCOMPARE(t->actualEffort(), 60);
    QCOMPARE(t->estimatedEffort(), 960);
    QVERIFY(t->complete());

    auto due = std::dynamic_pointer_cast<PstTaskItem>(record("taskDue"));
    QCOMPARE(due->status(), 0);
    QCOMPARE(due->percentComplete(), 0);
    QVERIFY(!due->complete());
    QVERIFY(due->has(PstKey::DueDate));
    QVERIFY(!due->has(PstKey::StartDate) && !due->has(PstKey::CompletedDate) && !due->has(PstKey::Owner));

    auto half = std::dynamic_pointer_cast<PstTaskItem>(record("taskHalf"));
    QCOMPARE(half->percentComplete(), 50);
    QVERIFY(!half->complete());
    QCOMPARE(std::dynamic_pointer_cast<PstTaskItem>(record("taskDone"))->percentComplete(), 100);
}

void TestItemsPstWriter::journalCases()
{
    auto j = std::dynamic_pointer_cast<PstJournalItem>(record("journal"));
    QVERIFY(j);
    QCOMPARE(j->title(), QStringLiteral("Call with Bob"));
    QCOMPARE(j->duration(), qint64(90));
    QCOMPARE(j->durationText(), QStringLiteral("1 h 30 m"));
    QCOMPARE(j->text(PstKey::Type), QStringLiteral("Phone call"));
    QCOMPARE(j->text(PstKey::Description), QStringLiteral("Telephone"));
    QCOMPARE(j->loadBody().plain, QStringLiteral("Talked budgets"));
    QCOMPARE(j->date(PstKey::StartTime), kStart.toSecsSinceEpoch());
    QCOMPARE(j->date(PstKey::EndTime), kStart.toSecsSinceEpoch() + 5400);
    auto plain = std::dynamic_pointer_cast<PstJournalItem>(record("journalPlain"));
    QVERIFY(plain);
    QCOMPARE(plain->duration(), qint64(0));
    QCOMPARE(plain->durationText(), QStringLiteral("0 m"));
    // A clone keeps the duration.
    QCOMPARE(std::static_pointer_cast<PstJournalItem>(j->clone())->duration(), qint64(90));
}

void TestItemsPstWriter::noteKeys()
{
    PstItemPtr n = record("note");
    QVERIFY(n && n->kind() == PstItemKind::Note);
    QCOMPARE(n->title(), QStringLiteral("Milk"));
    QCOMPARE(n->loadBody().plain, QStringLiteral("Milk\r\nEggs"));
    QCOMPARE(n->date(PstKey::CreateDate), kSent.toSecsSinceEpoch());
    QCOMPARE(n->date(PstKey::ModifyDate), kSent.toSecsSinceEpoch() + 3600);
    QCOMPARE(n->sortTime(), kSent.toSecsSinceEpoch());
}

void TestItemsPstWriter::wrongTypes()
{
    PstItemPtr mail = record("wrongTypes");
    QVERIFY(mail && mail->kind() == PstItemKind::Mail);
    QVERIFY(!mail->has(PstKey::SentDate));
    QCOMPARE(mail->subject(), QStringLiteral("Wrong types"));
    auto odd = std::dynamic_pointer_cast<PstTaskItem>(record("taskOdd"));
    QVERIFY(odd);
    QVERIFY(!odd->has(PstKey::DueDate));
    QCOMPARE(odd->percentComplete(), 0);
    QCOMPARE(odd->status(), 3);  // read as an integer whatever its type
}

void TestItemsPstWriter::eightBitTexts()
{
    PstItemPtr gbk = record("gbk");
    QVERIFY(gbk);
    QCOMPARE(gbk->subject(), QString::fromUtf8("中文主题"));
    QCOMPARE(gbk->loadBody().plain, QString::fromUtf8("你好"));
    auto accented = std::dynamic_pointer_cast<PstMailItem>(record("accented"));
    QCOMPARE(accented->subject(), QString::fromUtf8("Résumé attached"));
    QCOMPARE(accented->attachments().size(), 1);
    QCOMPARE(accented->attachments().first()->name, QString::fromUtf8("Résumé.txt"));
    PstItemPtr declared = record("declared");
    QCOMPARE(declared->subject(), QString::fromUtf8("中文主题"));
    QCOMPARE(declared->title(), QString::fromUtf8("啊"));
    PstItemPtr latin = record("cp1252");
    QCOMPARE(latin->subject(), QString::fromUtf8("café"));
    QCOMPARE(latin->title(), QString::fromUtf8("José “Pepe”"));
    QVERIFY(record("gbHtml")->loadBody().html.contains(QString::fromUtf8("<body>你好</body>")));
    QVERIFY(record("winHtml")->loadBody().html.contains(QString::fromUtf8("café")));
    const QString bare = record("bareHtml")->loadBody().html;
    QVERIFY2(bare.contains(QChar(0xFFFD)) && !bare.contains(QString::fromUtf8("é")), qPrintable(bare));
}

void TestItemsPstWriter::missingDates()
{
    // A date that is not set is missing: no key, no row on the page, no
    // card text (not "Jan 01, 1970").
    for (const char* key : {"taskDue", "taskNone"}) {
        PstItemPtr task = record(key);
        QVERIFY2(task && !task->has(PstKey::StartDate), key);
        const InfoSection schedule = task->infoSections({}).first();
        QCOMPARE(schedule.rows.first(), qMakePair(QStringLiteral("Start Date"), QString()));
        QCOMPARE(schedule.rows.at(1).second.isEmpty(), !task->has(PstKey::DueDate));
    }
    QVERIFY(record("taskDue")->has(PstKey::DueDate));
    QVERIFY(!record("taskNone")->has(PstKey::DueDate));
    PstItemPtr undated = record("undated");
    QCOMPARE(std::static_pointer_cast<PstMailItem>(undated)->sentDateText(kDetailDateFormat),
             QStringLiteral("No sent date"));
}

void TestItemsPstWriter::subjects_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("subject");
    QTest::newRow("forward") << "forward" << "FW: New PNR points for Transwestern";
    QTest::newRow("topic only") << "topicOnly" << "Only a topic";
    QTest::newRow("GBK subject") << "gbkSubject" << QString::fromUtf8("会议纪要：第二季度计划");
    QTest::newRow("cp1251 subject") << "cyrillicSubject" << QString::fromUtf8("Отчёт за март");
}

void TestItemsPstWriter::subjects()
{
    QFETCH(QString, key);
    QFETCH(QString, subject);
    PstItemPtr mail = record(key);
    QVERIFY(mail);
    QCOMPARE(mail->subject(), subject);
    QCOMPARE(mail->fieldText(PstSearchField::Subject), subject);
}

void TestItemsPstWriter::attachmentsOfEveryKind_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("appointment") << "appointmentFiles" << int(PstItemKind::Calendar)
                                 << QStringList{"agenda.pdf", "invite.ics"};
    QTest::newRow("task") << "taskFile" << int(PstItemKind::Task) << QStringList{"steps.txt"};
    QTest::newRow("contact") << "contactFile" << int(PstItemKind::Contact) << QStringList{"photo.jpg"};
    QTest::newRow("journal") << "journalFile" << int(PstItemKind::Journal) << QStringList{"minutes.docx"};
    QTest::newRow("note") << "noteFile" << int(PstItemKind::Note) << QStringList{"router.png"};
}

void TestItemsPstWriter::attachmentsOfEveryKind()
{
    QFETCH(QString, key);
    QFETCH(int, kind);
    QFETCH(QStringList, names);
    PstItemPtr r = record(key);
    QVERIFY(r);
    QCOMPARE(int(r->kind()), kind);
    QStringList got;
    for (const auto& a : r->attachments()) {
        got << a->name;
        QCOMPARE(r->loadAttachmentData(*a), "bytes of " + a->name.toUtf8());
    }
    got.sort();
    QCOMPARE(got, names);
    // A clone keeps them.
    QCOMPARE(r->clone()->attachments(), r->attachments());
}

void TestItemsPstWriter::attachedMessages()
{
    auto mail = std::dynamic_pointer_cast<PstMailItem>(record("forwarded"));
    QVERIFY(mail);
    QStringList names;
    for (const auto& a : mail->attachments()) {
        names << a->name;
        QCOMPARE(a->embeddedMessage, a->name.endsWith(QLatin1String(".eml")));
        // A message has no bytes of its own; it is written as .eml.
        if (a->embeddedMessage)
            QVERIFY(mail->loadAttachmentData(*a).isEmpty());
    }
    names.sort();
    QCOMPARE(names, (QStringList{"Lunch on Friday.eml", "Q1_Q2 plan.eml", "menu.pdf"}));
    QVERIFY(mail->fieldText(PstSearchField::Attachment).contains(QStringLiteral("Lunch on Friday.eml")));
    // The note's text is on its page.
    const PstItemPtr note = record("noteFile");
    QCOMPARE(note->infoSections(note->loadBody()).first().rows.first().second, QStringLiteral("guest: tea-time-2024"));
}

void TestItemsPstWriter::exchangeSenders_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("address");
    QTest::newRow("representing SMTP first") << "smtpBoth" << "ann@example.com";
    QTest::newRow("sender SMTP") << "smtpSender" << "ann.lee@example.com";
    QTest::newRow("Exchange path only") << "exchange" << "";
    QTest::newRow("SMTP sender untouched") << "full" << "ann@example.com";
}

void TestItemsPstWriter::exchangeSenders()
{
    QFETCH(QString, key);
    QFETCH(QString, address);
    auto mail = std::dynamic_pointer_cast<PstMailItem>(record(key));
    QVERIFY(mail);
    QCOMPARE(mail->senderAddr(), address);
}

void TestItemsPstWriter::rtfBodies()
{
    // Plain RTF: plain text, shown, searched.
    auto text = std::dynamic_pointer_cast<PstMailItem>(record("rtfText"));
    QVERIFY(text);
    QCOMPARE(text->loadBody().plain, QStringLiteral("13:41 Synchronizer\r\n13:42 Done\r\n"));
    QVERIFY(text->loadBody().html.isEmpty());
    QVERIFY(text->displayHtml().contains(QStringLiteral("13:41 Synchronizer")));
    QVERIFY(text->fieldText(PstSearchField::Body).contains(QStringLiteral("Synchronizer")));
    // Encapsulated HTML: HTML, with its inline image.
    auto html = std::dynamic_pointer_cast<PstMailItem>(record("rtfHtml"));
    QVERIFY(html);
    QCOMPARE(html->loadBody().html, QStringLiteral("<html><body><p>Hello <img src=\"cid:logo\"></p></body></html>"));
    QVERIFY(html->displayHtml().contains(QStringLiteral("src=\"data:image/png;base64,")));
    QCOMPARE(html->fieldText(PstSearchField::Body).simplified(), QStringLiteral("Hello"));
    QCOMPARE(record("rtfAndBody")->loadBody().plain, QStringLiteral("Plain wins"));
}

QTEST_GUILESS_MAIN(TestItemsPstWriter)
#include "tst_items_pstwriter.moc"
