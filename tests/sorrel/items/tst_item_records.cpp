// Records built from hand-made libpst items: kinds chosen by message class,
// every key of every kind, the derived texts and clones.

#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"

#include <QtTest>

#include <list>

namespace {

// A libpst item assembled in memory; strings live in the pool.
struct FakeItem {
    pst_item item{};
    pst_item_email email{};
    pst_item_contact contact{};
    pst_item_appointment appt{};
    pst_item_journal journal{};
    pst_item_folder folder{};
    pst_desc_tree desc{};
    std::list<QByteArray> pool;
    std::list<FILETIME> times;
    std::list<pst_item_attach> attachments;

    explicit FakeItem(const char* cls = nullptr) { setClass(cls); desc.d_id = 0x200024; }
    void setClass(const char* cls) { item.ascii_type = cls ? str(cls).str : nullptr; }
    pst_string str(const char* s)
    {
        pool.emplace_back(s);
        return pst_string{0, pool.back().data()};
    }
    FILETIME* at(qint64 secs)
    {
        const uint64_t v = uint64_t(secs + 11644473600LL) * 10000000ULL;
        times.push_back(FILETIME{uint32_t(v & 0xFFFFFFFFu), uint32_t(v >> 32)});
        return &times.back();
    }
    pst_item_attach* attach(const char* longName, const char* shortName, uint64_t id, const char* cid = nullptr)
    {
        attachments.emplace_back();
        pst_item_attach& a = attachments.back();
        a = pst_item_attach{};
        if (longName)
            a.filename2 = str(longName);
        if (shortName)
            a.filename1 = str(shortName);
        if (cid)
            a.content_id = str(cid);
        a.i_id = id;
        if (attachments.size() > 1)
            std::prev(std::prev(attachments.end()))->next = &a;
        else
            item.attach = &a;
        return &a;
    }
    std::shared_ptr<PstItem> build(const PstExtraProperties& extra = {})
    {
        return pstBuildItem(nullptr, &desc, &item, extra);
    }
};

PstMessageClassKind kindOf(const char* cls)
{
    return pstClassifyMessageClass(cls);
}

} // namespace

Q_DECLARE_METATYPE(PstMessageClassKind)

class TestItemRecords : public QObject {
    Q_OBJECT
private slots:
    void classes_data();
    void classes();
    void partsDecide();
    void mailKeys();
    void mailAttachments();
    void contactKeys();
    void contactTitle_data();
    void contactTitle();
    void calendarKeysAndDuration_data();
    void calendarKeysAndDuration();
    void journal_data();
    void journal();
    void task_data();
    void task();
    void noteKeys();
    void effortText_data();
    void effortText();
    void infoSections();
    void searchTexts();
    void htmlToText_data();
    void htmlToText();
    void clones();
};

void TestItemRecords::classes_data()
{
    QTest::addColumn<QByteArray>("cls");
    QTest::addColumn<PstMessageClassKind>("kind");
    using K = PstMessageClassKind;
    QTest::newRow("note") << QByteArray("IPM.Note") << K::Mail;
    QTest::newRow("note lower case") << QByteArray("ipm.note") << K::Mail;
    QTest::newRow("signed") << QByteArray("IPM.Note.SMIME.MultipartSigned") << K::Mail;
    QTest::newRow("ndr") << QByteArray("REPORT.IPM.Note.NDR") << K::Mail;
    QTest::newRow("read receipt") << QByteArray("REPORT.IPM.Note.IPNRN") << K::Mail;
    QTest::newRow("meeting request") << QByteArray("IPM.Schedule.Meeting.Request") << K::Mail;
    QTest::newRow("post") << QByteArray("IPM.Post") << K::Mail;
    QTest::newRow("bare ipm") << QByteArray("IPM") << K::Mail;
    QTest::newRow("task request") << QByteArray("IPM.TaskRequest") << K::Mail;
    QTest::newRow("contact") << QByteArray("IPM.Contact") << K::Contact;
    QTest::newRow("contact subclass") << QByteArray("ipm.contact.Custom") << K::Contact;
    QTest::newRow("contact-like prefix") << QByteArray("IPM.ContactX") << K::Mail;
    QTest::newRow("appointment") << QByteArray("IPM.Appointment") << K::Calendar;
    QTest::newRow("occurrence") << QByteArray("IPM.Appointment.Occurrence") << K::Calendar;
    QTest::newRow("journal") << QByteArray("IPM.Activity") << K::Journal;
    QTest::newRow("journal upper") << QByteArray("IPM.ACTIVITY.X") << K::Journal;
    QTest::newRow("sticky") << QByteArray("IPM.StickyNote") << K::Note;
    QTest::newRow("sticky subclass") << QByteArray("IPM.StickyNote.Yellow") << K::Note;
    QTest::newRow("task") << QByteArray("IPM.Task") << K::Task;
    QTest::newRow("task subclass") << QByteArray("IPM.Task.Custom") << K::Task;
}

void TestItemRecords::classes()
{
    QFETCH(QByteArray, cls);
    QFETCH(PstMessageClassKind, kind);
    QCOMPARE(kindOf(cls.constData()), kind);
    QCOMPARE(kindOf(nullptr), PstMessageClassKind::None);
}

void TestItemRecords::partsDecide()
{
    {  // signed mail, delivery report and meeting request all become mails
        for (const char* cls : {"IPM.Note.SMIME.MultipartSigned", "REPORT.IPM.Note.NDR", "IPM.Schedule.Meeting.Request"}) {
            FakeItem f(cls);
            f.item.email = &f.email;
            f.email.processed_subject = f.str("s");
            auto r = f.build();
            QVERIFY2(r && r->kind() == PstItemKind::Mail, cls);
        }
    }
    {  // a mail class without a mail part: nothing
        FakeItem f("IPM.Note");
        QVERIFY(!f.build());
    }
    for (const char* cls : {"IPM.Contact", "IPM.Appointment", "IPM.Activity"}) {
        FakeItem f(cls);  // the kind's own part is missing
        QVERIFY2(!f.build(), cls);
    }
    {  // no class, no folder part
        FakeItem f;
        f.item.email = &f.email;
        QVERIFY(!f.build());
    }
    {  // folders are no items, whatever their class
        FakeItem f("IPM.Note");
        f.item.folder = &f.folder;
        f.item.email = &f.email;
        QVERIFY(!f.build());
        QVERIFY(!createItemRecord(nullptr, &f.desc, &f.item));
        f.setClass(nullptr);
        QVERIFY(!f.build());
    }
    {  // sticky notes and tasks need no libpst part
        FakeItem n("IPM.StickyNote"), t("IPM.Task.Custom");
        QCOMPARE(n.build()->kind(), PstItemKind::Note);
        QCOMPARE(t.build()->kind(), PstItemKind::Task);
    }
}

void TestItemRecords::mailKeys()
{
    FakeItem f("IPM.Note");
    f.item.email = &f.email;
    pst_item_email& e = f.email;
    e.processed_subject = f.str("Quarterly report");
    e.outlook_sender_name = f.str("Ann Lee");
    e.sender_address = f.str("/o=ExchangeLabs/ou=Exchange/cn=Recipients/cn=ann");
    e.sentto_address = f.str("Bob");
    e.cc_address = f.str("");
    e.sent_date = f.at(1000000000);
    e.arrival_date = f.at(1000000060);
    e.report_time = f.at(1000000120);
    e.htmlbody = f.str("<p>Hello&nbsp;there</p>");
    f.item.body = f.str("Hello there");
    f.item.subject = f.str("FW: Quarterly report");  // the mail's own subject wins over the topic
    e.outlook_sender = f.str("SMTP:ANN@EXAMPLE.COM");  // the search key, not the address
    auto r = f.build();
    QVERIFY(r);
    auto* mail = static_cast<PstMailItem*>(r.get());
    QCOMPARE(mail->id(), uint64_t(0x200024));
    const PstItem::Fields expected = {
        {PstKey::Subject, QStringLiteral("FW: Quarterly report")},
        {PstKey::Sender, QStringLiteral("Ann Lee")},
        {PstKey::SenderAddr, QString()},  // directory paths are no address
        {PstKey::Recipients, QStringLiteral("Bob")},
        {PstKey::Cc, QString()},
        {PstKey::SentDate, qint64(1000000000)},
        {PstKey::ArrivalDate, qint64(1000000060)},
        {PstKey::ReportTime, qint64(1000000120)},
    };
    // No "bcc": libpst has none; no bodies: records never keep them.
    QCOMPARE(mail->fields().keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(mail->value(it.key()).toString(), it.value().toString());
    QCOMPARE(mail->value(PstKey::SentDate).typeId(), QMetaType::LongLong);
    QCOMPARE(mail->title(), QStringLiteral("Ann Lee"));
    QCOMPARE(mail->sortTime(), qint64(1000000000));
    QCOMPARE(mail->fieldText(PstSearchField::From), QStringLiteral("Ann Lee "));
    QCOMPARE(mail->fieldText(PstSearchField::Recipient), QStringLiteral("Bob  "));
    QCOMPARE(mail->toLine(), QStringLiteral("To: Bob"));
    QVERIFY(mail->ccLine().isEmpty());
    QVERIFY(mail->senderAddrHtml().isEmpty());
    QVERIFY(mail->loadBody().isEmpty());  // not in an open file
    QCOMPARE(mail->arrivalDateText(kListDateFormat), QStringLiteral("2001/09/09 GMT+0"));

    e.sent_date = nullptr;
    e.sender_address = f.str("ann@example.com");
    f.item.subject = f.str("");  // no subject of its own: the conversation topic
    auto undated = std::static_pointer_cast<PstMailItem>(f.build());
    QCOMPARE(undated->subject(), QStringLiteral("Quarterly report"));
    QVERIFY(!undated->has(PstKey::SentDate));
    QCOMPARE(undated->sortTime(), qint64(0));
    QCOMPARE(undated->sentDateText(kListDateFormat), QStringLiteral("No sent date"));
    QCOMPARE(undated->senderAddrHtml(), QStringLiteral("&lt;ann@example.com&gt;"));
}

void TestItemRecords::mailAttachments()
{
    FakeItem f("IPM.Note");
    f.item.email = &f.email;
    f.attach("A.pdf", "A~1.PDF", 11, "cid-a");
    f.attach(nullptr, nullptr, 12);      // no file name at all: skipped
    f.attach(nullptr, "C.TXT", 13);      // only the short name
    f.attach("", "D.TXT", 14);           // an empty long name falls back too
    auto mail = std::static_pointer_cast<PstMailItem>(f.build());
    QVERIFY(mail);
    QStringList names;
    QList<uint64_t> ids;
    for (const auto& a : mail->attachments()) {
        names << a->name;
        ids << a->id;
    }
    QCOMPARE(names, QStringList({"A.pdf", "C.TXT", "D.TXT"}));
    QCOMPARE(ids, QList<uint64_t>({11, 13, 14}));
    QCOMPARE(mail->attachments().first()->contentId, QStringLiteral("cid-a"));
    QCOMPARE(mail->fieldText(PstSearchField::Attachment), QStringLiteral("A.pdf C.TXT D.TXT"));
    // Not in an open file: the bytes cannot be loaded.
    QVERIFY(mail->loadAttachmentData(*mail->attachments().first()).isEmpty());
}

void TestItemRecords::contactKeys()
{
    FakeItem f("IPM.Contact");
    f.item.contact = &f.contact;
    pst_item_contact& c = f.contact;
    const QList<QPair<pst_string pst_item_contact::*, QString>> table = {
        {&pst_item_contact::fullname, PstKey::FullName},
        {&pst_item_contact::first_name, PstKey::FirstName},
        {&pst_item_contact::surname, PstKey::Surname},
        {&pst_item_contact::company_name, PstKey::CompanyName},
        {&pst_item_contact::department, PstKey::Department},
        {&pst_item_contact::job_title, PstKey::JobTitle},
        {&pst_item_contact::other_phone, PstKey::OtherPhone},
        {&pst_item_contact::car_phone, PstKey::CarPhone},
        {&pst_item_contact::callback_phone, PstKey::CallbackPhone},
        {&pst_item_contact::mobile_phone, PstKey::MobilePhone},
        {&pst_item_contact::home_phone, PstKey::HomePhone},
        {&pst_item_contact::business_phone, PstKey::BusinessPhone},
        {&pst_item_contact::company_main_phone, PstKey::CompanyPhone},
        {&pst_item_contact::primary_fax, PstKey::PrimaryFax},
        {&pst_item_contact::business_fax, PstKey::BusinessFax},
        {&pst_item_contact::home_fax, PstKey::HomeFax},
        {&pst_item_contact::other_address, PstKey::OtherAddress},
        {&pst_item_contact::business_address, PstKey::BusinessAddress},
        {&pst_item_contact::home_address, PstKey::HomeAddress},
        {&pst_item_contact::address1, PstKey::PrimaryEmail},
        {&pst_item_contact::address2, PstKey::SecondaryEmail},
        {&pst_item_contact::address3, PstKey::TertiaryEmail},
        {&pst_item_contact::business_homepage, PstKey::BusinessPage},
        {&pst_item_contact::personal_homepage, PstKey::PersonalPage},
    };
    for (const auto& [member, key] : table)
        c.*member = f.str(("v-" + key).toUtf8().constData());
    f.item.body = f.str("v-note");
    auto r = f.build();
    QVERIFY(r && r->kind() == PstItemKind::Contact);
    QCOMPARE(r->fields().size(), table.size());  // the body is no field
    for (const auto& [member, key] : table)
        QCOMPARE(r->text(key), "v-" + key);
    QCOMPARE(r->subject(), QStringLiteral("v-primaryEmail"));
    QCOMPARE(r->id(), uint64_t(0x200024));
}

void TestItemRecords::contactTitle_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("title");
    QTest::newRow("both") << "Ann" << "Lee" << "Ann Lee";
    QTest::newRow("first only") << "Ann" << QString() << "Ann ";
    QTest::newRow("last only") << QString() << "Lee" << " Lee";
    QTest::newRow("none") << QString() << QString() << "Empty name";
}

void TestItemRecords::contactTitle()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, title);
    PstContactItem c;
    if (!first.isNull())
        c.setField(PstKey::FirstName, first);
    if (!last.isNull())
        c.setField(PstKey::Surname, last);
    QCOMPARE(c.title(), title);
}

void TestItemRecords::calendarKeysAndDuration_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");  // -1: no end date
    QTest::addColumn<QString>("duration");
    const qint64 nine = 1700000000 - 1700000000 % 86400 + 9 * 3600;
    QTest::newRow("45 minutes") << nine << nine + 45 * 60 << "45m";
    QTest::newRow("09:00-10:30") << nine << nine + 90 * 60 << "1h 30m";
    QTest::newRow("two hours") << nine << nine + 7200 << "2h 0m";
    QTest::newRow("two days") << nine << nine + 2 * 86400 << "2d 0h 0m";
    QTest::newRow("day and half hour") << nine << nine + 86400 + 1800 << "1d 0h 30m";
    QTest::newRow("no span") << nine << nine << "0m";
    QTest::newRow("end before start") << nine + 3600 << nine << "1h 0m";
    QTest::newRow("no end date") << qint64(3600) << qint64(-1) << QString();  // no span to show
}

void TestItemRecords::calendarKeysAndDuration()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QString, duration);
    FakeItem f("IPM.Appointment");
    f.item.appointment = &f.appt;
    f.item.subject = f.str("Standup");
    f.item.body = f.str("Bring notes");
    f.appt.location = f.str("Room 4");
    f.appt.start = f.at(start);
    f.appt.end = end < 0 ? nullptr : f.at(end);
    f.appt.recurrence_description = f.str("every weekday");
    auto r = f.build();
    QVERIFY(r && r->kind() == PstItemKind::Calendar);
    QCOMPARE(r->name(), QStringLiteral("Standup"));
    QCOMPARE(r->title(), QStringLiteral("Standup"));
    QCOMPARE(r->text(PstKey::Location), QStringLiteral("Room 4"));
    QCOMPARE(r->text(PstKey::RecurrenceDescription), QStringLiteral("every weekday"));
    QCOMPARE(r->date(PstKey::StartDate), start);
    QCOMPARE(r->has(PstKey::EndDate), end >= 0);
    QCOMPARE(r->sortTime(), start);
    QCOMPARE(r->durationText(), duration);
}

void TestItemRecords::journal_data()
{
    QTest::addColumn<int>("minutes");  // -1: no duration property
    QTest::addColumn<QString>("text");
    QTest::newRow("absent") << -1 << "0 m";
    QTest::newRow("zero") << 0 << "0 m";
    QTest::newRow("61") << 61 << "1 h 1 m";
    QTest::newRow("90") << 90 << "1 h 30 m";
    QTest::newRow("1500") << 1500 << "1 d 1 h";
    QTest::newRow("1441") << 1441 << "1 d 1 m";
}

void TestItemRecords::journal()
{
    QFETCH(int, minutes);
    QFETCH(QString, text);
    FakeItem f("IPM.Activity");
    f.item.journal = &f.journal;
    f.item.subject = f.str("Call");
    f.journal.start = f.at(100);
    f.journal.end = f.at(200);
    f.journal.type = f.str("Phone call");
    f.journal.description = f.str("Telephone");
    PstExtraProperties extra;
    if (minutes >= 0)
        extra.journalDuration = minutes;
    auto r = std::static_pointer_cast<PstJournalItem>(f.build(extra));
    QVERIFY(r);
    QCOMPARE(r->duration(), qint64(qMax(minutes, 0)));
    QCOMPARE(r->durationText(), text);
    QCOMPARE(r->name(), QStringLiteral("Call"));
    QCOMPARE(r->date(PstKey::StartTime), qint64(100));
    QCOMPARE(r->date(PstKey::EndTime), qint64(200));
    QCOMPARE(r->text(PstKey::Type), QStringLiteral("Phone call"));
    QCOMPARE(r->text(PstKey::Description), QStringLiteral("Telephone"));

    // Only the duration: still a journal entry.
    f.item.journal = nullptr;
    if (minutes >= 0)
        QCOMPARE(std::static_pointer_cast<PstJournalItem>(f.build(extra))->duration(), qint64(minutes));
    else
        QVERIFY(!f.build(extra));
}

void TestItemRecords::task_data()
{
    QTest::addColumn<double>("fraction");
    QTest::addColumn<int>("percent");
    QTest::newRow("0.755") << 0.755 << 75;
    QTest::newRow("0.5") << 0.5 << 50;
    QTest::newRow("1.0") << 1.0 << 100;
    QTest::newRow("0") << 0.0 << 0;
    QTest::newRow("nan") << qQNaN() << 0;
}

void TestItemRecords::task()
{
    QFETCH(double, fraction);
    QFETCH(int, percent);
    FakeItem f("IPM.Task");
    f.item.type = PST_TYPE_TASK;
    f.item.subject = f.str("File taxes");
    f.item.body = f.str("before April");
    PstTaskRecord t;
    t.percentComplete = fraction;
    t.status = 1;
    t.complete = 1;
    t.actualEffort = 60;
    t.estimatedEffort = 960;
    t.owner = QByteArray("Ann Lee");
    t.start = *f.at(1000);
    t.due = *f.at(2000);
    t.completed = *f.at(3000);
    PstExtraProperties extra;
    extra.task = t;
    auto r = std::static_pointer_cast<PstTaskItem>(f.build(extra));
    QVERIFY(r);
    QCOMPARE(r->percentComplete(), percent);
    QCOMPARE(r->status(), 1);
    QVERIFY(r->complete());
    QCOMPARE(r->actualEffort(), 60);
    QCOMPARE(r->estimatedEffort(), 960);
    QCOMPARE(r->name(), QStringLiteral("File taxes"));
    QCOMPARE(r->text(PstKey::Owner), QStringLiteral("Ann Lee"));
    QCOMPARE(r->date(PstKey::StartDate), qint64(1000));
    QCOMPARE(r->date(PstKey::DueDate), qint64(2000));
    QCOMPARE(r->date(PstKey::CompletedDate), qint64(3000));

    // Only a due date: not started, nothing else.
    PstTaskRecord dueOnly;
    dueOnly.due = *f.at(5000);
    extra.task = dueOnly;
    r = std::static_pointer_cast<PstTaskItem>(f.build(extra));
    QCOMPARE(r->status(), 0);
    QCOMPARE(r->percentComplete(), 0);
    QVERIFY(!r->complete());
    QCOMPARE(r->fields().keys(), QStringList({"dueDate", "subject"}));

    // No task properties at all.
    r = std::static_pointer_cast<PstTaskItem>(f.build());
    QCOMPARE(r->fields().keys(), QStringList({"subject"}));
}

void TestItemRecords::noteKeys()
{
    FakeItem f("IPM.StickyNote");
    f.item.type = PST_TYPE_STICKYNOTE;
    f.item.subject = f.str("Milk");
    f.item.body = f.str("Milk\nEggs");
    f.item.create_date = f.at(500);
    f.item.modify_date = f.at(600);
    auto r = f.build();
    QVERIFY(r && r->kind() == PstItemKind::Note);
    QCOMPARE(r->title(), QStringLiteral("Milk"));
    QCOMPARE(r->date(PstKey::CreateDate), qint64(500));
    QCOMPARE(r->date(PstKey::ModifyDate), qint64(600));
    QCOMPARE(r->sortTime(), qint64(500));
    QCOMPARE(r->iconPath(), QStringLiteral(":/img/notepaper@3x.png"));
    // The page shows the note's text.
    PstItemBody body;
    body.plain = QStringLiteral("Milk\nEggs");
    const QList<InfoSection> sections = r->infoSections(body);
    QCOMPARE(sections.size(), 1);
    QCOMPARE(sections.first().rows, (QList<QPair<QString, QString>>{{QString(), body.plain}}));
}

void TestItemRecords::effortText_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0 hours";
    QTest::newRow("60") << 60 << "1 hour";
    QTest::newRow("90") << 90 << QString();
    QTest::newRow("180") << 180 << "3 hours";
    QTest::newRow("480") << 480 << "1 day";
    QTest::newRow("960") << 960 << "2 days";
    QTest::newRow("2400") << 2400 << "1 week";
    QTest::newRow("4800") << 4800 << "2 weeks";
}

void TestItemRecords::effortText()
{
    QFETCH(int, minutes);
    QFETCH(QString, text);
    QCOMPARE(PstTaskItem::effortText(minutes), text);
}

void TestItemRecords::infoSections()
{
    PstTaskItem task;
    task.setStatus(7);
    task.setPercentComplete(100);
    const auto sections = task.infoSections({});
    QCOMPARE(sections.size(), 3);
    QCOMPARE(sections[1].title, QStringLiteral("Task Status"));
    QCOMPARE(sections[1].rows[1], qMakePair(QStringLiteral("Status"), QString()));
    QCOMPARE(sections[1].rows[4].second, QStringLiteral("100 % completed"));
    QCOMPARE(PstTaskItem::statusText(3), QStringLiteral("waiting on someone else"));

    PstJournalItem journal;
    journal.setField(PstKey::Description, QStringLiteral("Phone call"));
    journal.setField(PstKey::Type, QStringLiteral("IPM.Activity.Phone"));
    QCOMPARE(journal.infoSections({})[0].rows[1], qMakePair(QStringLiteral("Type"), QStringLiteral("Phone call")));

    PstCalendarItem appt;
    const auto calendar = appt.infoSections({});
    QCOMPARE(calendar[0].title, QStringLiteral("Appointment Details"));
    QCOMPARE(calendar[0].rows[2], qMakePair(QStringLiteral("End Date"), QString()));  // absent: no row

    PstContactItem contact;
    contact.setField(PstKey::BusinessPhone, QStringLiteral("555"));
    QCOMPARE(contact.infoSections({})[2].rows[0], qMakePair(QStringLiteral("Business"), QStringLiteral("555")));

    // The notes come from the body read for the page: its plain text, else
    // its HTML as text.
    QCOMPARE(appt.infoSections({QStringLiteral("Bring notes"), QString()}).last().rows,
             (QList<QPair<QString, QString>>{{QString(), QStringLiteral("Bring notes")}}));
    QCOMPARE(contact.infoSections({QString(), QStringLiteral("<p>Call &amp; ask</p>")}).last().rows.first().second,
             QStringLiteral("Call & ask\n"));
}

void TestItemRecords::searchTexts()
{
    FakeItem f("IPM.Note");
    f.item.email = &f.email;
    f.email.processed_subject = f.str("Lunch  plans");
    f.email.outlook_sender_name = f.str("Ann");
    f.email.htmlbody = f.str("<b>Pizza</b>&nbsp;at noon <3");
    f.attach("menu.pdf", nullptr, 1, "cid-menu");
    auto mail = f.build();
    const QString text = mail->searchText();
    QVERIFY2(text.startsWith(QStringLiteral("Ann Lunch plans")), qPrintable(text));
    // The kept text holds no body.
    QVERIFY2(text.endsWith(QStringLiteral("Ann menu.pdf cid-menu")), qPrintable(text));
    QCOMPARE(mail->fieldText(PstSearchField::Any), text);

    // Changing a record rebuilds the cached text.
    mail->setField(PstKey::Bcc, QStringLiteral("Zed"));
    QVERIFY(mail->searchText().contains(QStringLiteral("Zed")));

    PstNoteItem note;
    note.setField(PstKey::Subject, QStringLiteral("  a \n b "));
    note.setField(PstKey::Description, QString());
    note.setName(note.subject());
    QCOMPARE(note.searchText(), QStringLiteral("a b a b a b"));
    QCOMPARE(note.fieldText(PstSearchField::Subject), QStringLiteral("  a \n b    a \n b "));
    QCOMPARE(note.fieldText(PstSearchField::Body), QStringLiteral("   a \n b "));
    QVERIFY(note.fieldText(PstSearchField::From).isEmpty());
}

void TestItemRecords::htmlToText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");
    QTest::newRow("entities") << "<style>p{}</style><p>a&amp;b&#233;&#x41;</p>" << "a&b\u00e9A\n";
    QTest::newRow("head dropped") << "<HEAD><title>T</title></HEAD><body>x<br/>y</body>" << "x\ny";
    QTest::newRow("unknown entity") << "a &lt; b &bogus; &" << "a < b &bogus; &";
    QTest::newRow("unclosed script") << "<script>never closed <b>x</b>" << "never closed x";
    QTest::newRow("lone angle") << "x < y" << "x < y";
    // Hostile markup must stay a single pass.
    QTest::newRow("many scripts") << QString("<script>").repeated(50000) + "end" << "end";
    QTest::newRow("many ampersands") << QString("&").repeated(200000) << QString("&").repeated(200000);
    QTest::newRow("many open tags") << "<p>a</p>" + QString("<a").repeated(100000) << "a\n" + QString("<a").repeated(100000);
}

void TestItemRecords::htmlToText()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(PstMailItem::htmlToText(html), text);
}

void TestItemRecords::clones()
{
    auto journal = std::make_shared<PstJournalItem>();
    journal->setDuration(61);
    journal->setField(PstKey::Subject, QStringLiteral("s"));
    journal->setDepth(2);
    auto jc = std::static_pointer_cast<PstJournalItem>(journal->clone());
    QCOMPARE(jc->duration(), qint64(61));
    QCOMPARE(jc->depth(), 2);
    jc->setField(PstKey::Subject, QStringLiteral("changed"));
    QCOMPARE(journal->subject(), QStringLiteral("s"));  // the map detached

    FakeItem f("IPM.Note");
    f.item.email = &f.email;
    f.attach("a.txt", nullptr, 5);
    auto mail = std::static_pointer_cast<PstMailItem>(f.build());
    auto mc = std::static_pointer_cast<PstMailItem>(mail->clone());
    QCOMPARE(mc->id(), mail->id());
    QCOMPARE(mc->attachments().first(), mail->attachments().first());

    auto task = std::make_shared<PstTaskItem>();
    task->setStatus(4);
    task->setPercentComplete(30);
    task->setEstimatedEffort(120);
    auto tc = std::static_pointer_cast<PstTaskItem>(task->clone());
    QCOMPARE(tc->status(), 4);
    QCOMPARE(tc->percentComplete(), 30);
    QCOMPARE(tc->estimatedEffort(), 120);
    QVERIFY(!tc->parent());
}

QTEST_GUILESS_MAIN(TestItemRecords)
#include "tst_item_records.moc"
