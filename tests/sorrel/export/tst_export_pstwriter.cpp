// The export of generated PST files: the directory tree and its names under
// hostile folder names and subjects, the .eml of a mail with every kind of
// part, the .vcf, .ics and .txt files, mbox mailboxes, and the outcome when
// an export is cancelled or its files cannot be written.

#include "ExportTestSupport.h"

#include "sorrel/export/writers/MailWriter.h"
#include "sorrel/store/PstSafeParse.h"
#include "sorrel/store/PstLibrary.h"

#include "PstWriter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace pstw;
using namespace exporttest;

namespace {

const QDateTime kSent(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
const QDateTime kStart(QDate(2024, 6, 3), QTime(9, 0), Qt::UTC);
const QByteArray kPng("\x89PNG\r\n\x1a\n-fake-image-bytes");
const QString kLongSubject = QString(130, QChar(0x00E9));  // 260 bytes in UTF-8

PropKey common(uint32_t l) { return PropKey::named(pset::common(), l); }
PropKey appt(uint32_t l) { return PropKey::named(pset::appointment(), l); }

MessageSpec mail(const QString& subject, const QString& body = QStringLiteral("body"))
{
    MessageSpec m;
    m.subject = subject;
    m.body = body;
    m.senderName = "Ann Lee";
    m.senderEmail = "ann@example.com";
    m.recipients = {{"Bob", "bob@example.com"}};
    m.sent = m.received = kSent;
    return m;
}

// Names, attachments and what the mail's .eml must keep byte for byte.
struct AttachmentCase {
    const char* name;
    QByteArray data;
};
const AttachmentCase kAttachments[] = {
    {"report one.txt", "one"},
    {"say \"hi\".txt", "hi"},
    {"\xC3\xBCn\xC3\xAF.txt", "uni"},  // ünï.txt
    {"logo.png", kPng},
};

MessageSpec fullMail()
{
    MessageSpec m = mail("Full", "Hello\r\nFrom here on\r\n>From quoted\r\nBye\r\n");
    m.html = QByteArray("<html><body><p>Hi <img src=\"cid:logo@x\"></p></body></html>");
    m.rtf = QByteArray("{\\rtf1\\ansi Hello}");
    m.messageId = "<full@example.com>";
    for (const AttachmentCase& a : kAttachments) {
        const QString name = QString::fromUtf8(a.name);
        m.attachments.push_back(AttachmentSpec::file(name, a.data, name.endsWith("png") ? "image/png" : "text/plain",
                                                     name.endsWith("png") ? "logo@x" : QString()));
    }
    m.attachments.push_back(AttachmentSpec::file("evil\r\nX-Injected: name.txt", "evil", "text/plain\r\nX-Injected: type",
                                                 "cid\r\nX-Injected: id"));
    MessageSpec inner = mail("Inner", "inner body\r\nFrom the inside\r\n");
    inner.attachments.push_back(AttachmentSpec::file("inner.txt", "inner bytes"));
    m.attachments.push_back(AttachmentSpec::message(inner));
    return m;
}

// A mail with embedded messages nested levels deep.
MessageSpec nestedMail(int levels)
{
    MessageSpec m = mail(QStringLiteral("Level %1").arg(levels));
    if (levels > 0)
        m.attachments.push_back(AttachmentSpec::message(nestedMail(levels - 1)));
    return m;
}

void writeEverything(const QString& path, const QString& storeName)
{
    PstWriter w(path, PstFormat::Unicode, PstEncryption::None, storeName);
    const FolderId inbox = w.addFolder(w.ipmSubtree(), "Inbox");
    const FolderId contacts = w.addFolder(w.ipmSubtree(), "Contacts", "IPF.Contact");
    const FolderId calendar = w.addFolder(w.ipmSubtree(), "Calendar", "IPF.Appointment");
    const FolderId journal = w.addFolder(w.ipmSubtree(), "Journal", "IPF.Journal");
    const FolderId notes = w.addFolder(w.ipmSubtree(), "Notes", "IPF.StickyNote");
    const FolderId empty = w.addFolder(w.ipmSubtree(), "Empty");
    w.addFolder(empty, "Empty child");
    const FolderId holder = w.addFolder(w.ipmSubtree(), "Holder");
    w.addMail(w.addFolder(holder, "Filled child"), mail("Child mail"));

    w.addMail(inbox, fullMail());
    w.addMail(inbox, nestedMail(mailwriter::kMaxEmbeddedDepth + 2));
    MessageSpec stored = mail("Generated subject");
    stored.props.setText(tag::TransportMessageHeaders,
                         "Received: from relay\r\nSubject: Stored subject\r\nFrom: Stored <stored@example.com>\r\n"
                         "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n charset=\"utf-8\"\r\n\r\n");
    w.addMail(inbox, stored);

    AppointmentSpec meeting;
    meeting.subject = "Planning";
    meeting.location = "Room 4";
    meeting.start = kStart;
    meeting.end = kStart.addSecs(5400);
    meeting.organizerName = "Ann Lee";
    meeting.organizerEmail = "ann@example.com";
    meeting.attendees = {{"Bob", "bob@example.com"}};
    meeting.meetingRequest = true;
    w.addAppointment(inbox, meeting);

    ContactSpec c;
    c.givenName = "Ann";
    c.surname = "Lee; Jr";
    c.company = "Acme, Inc.";
    c.department = "R&D";
    c.jobTitle = "Lead; QA";
    c.email1 = "ann@example.com";
    c.businessPhone = "+1 555 0001";
    c.note = QString::fromUtf8("Line one\r\nLine two, with a comma; and a long tail that runs past "
                               "seventy-five octets: \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    c.props.setText(0x3A30, "Bob Assistant");   // PR_ASSISTANT
    c.props.setText(0x3A2E, "+1 555 0100");     // PR_ASSISTANT_TELEPHONE_NUMBER
    c.props.setText(0x3A4F, "Annie, A.");       // PR_NICKNAME
    w.addContact(contacts, c);

    AppointmentSpec standup;
    standup.subject = "Standup";
    standup.location = "Room 1";
    standup.body = "Bring notes, please";
    standup.start = kStart;
    standup.end = kStart.addSecs(900);
    standup.recurrence = Recurrence{Recurrence::Weekly, 2, 10, "every other Monday"};
    standup.props.setInt32(appt(lid::BusyStatus), 0);  // free
    standup.props.setBool(common(lid::ReminderSet), true);
    standup.props.setInt32(common(0x8501), 15);        // PidLidReminderDelta
    standup.props.setText(PropKey::named(pset::publicStrings(), "Keywords"), "Team");
    w.addAppointment(calendar, standup);
    AppointmentSpec endless = standup;
    endless.subject = "Forever";
    endless.recurrence = Recurrence{Recurrence::Daily, 1, 0, "every day"};
    endless.props = Props();
    w.addAppointment(calendar, endless);

    JournalSpec j;
    j.subject = "Call";
    j.body = "Talked";
    j.start = kStart;
    j.end = kStart.addSecs(600);
    w.addJournal(journal, j);

    NoteSpec n;
    n.subject = "Buy milk";
    n.body = "Buy milk\r\n2 litres";
    n.created = kSent;
    n.modified = kSent.addSecs(3600);
    w.addNote(notes, n);
    QVERIFY(w.finish());
}

// Folder names and subjects that must not lead out of the output directory.
const char* const kHostileFolders[] = {"..", ".", "../x", "a/b", "a_b", "", "Inbox"};
const char* const kHostileSubjects[] = {"../../escape", "a/b:c*d?e\"f<g>h|i", "line\r\nbreak", "tab\there", "",
                                        "Same", "Same", "Same"};

void writeHostile(const QString& path)
{
    PstWriter w(path);
    const FolderId hostile = w.addFolder(w.ipmSubtree(), "Hostile");
    for (const char* name : kHostileFolders)
        w.addMail(w.addFolder(hostile, QString::fromUtf8(name)), mail("m"));
    for (const char* subject : kHostileSubjects)
        w.addMail(hostile, mail(QString::fromUtf8(subject)));
    w.addMail(hostile, mail(kLongSubject));
    w.addMail(hostile, mail(kLongSubject));
    QVERIFY(w.finish());
}

// The unfolded content lines of a vCard or iCalendar text.
QList<QByteArray> contentLines(const QByteArray& text)
{
    QByteArray unfolded = text;
    unfolded.replace("\r\n ", "");
    QList<QByteArray> lines = unfolded.split('\n');
    for (QByteArray& l : lines)
        l = l.trimmed();
    lines.removeAll(QByteArray());
    return lines;
}

QList<QByteArray> linesStartingWith(const QByteArray& text, const QByteArray& prefix)
{
    QList<QByteArray> found;
    for (const QByteArray& l : contentLines(text)) {
        if (l.startsWith(prefix))
            found << l;
    }
    return found;
}

// Lowers the effective capabilities that let root write anywhere, for this
// thread and the threads it starts, until destroyed.
class WithoutDacOverride {
public:
    WithoutDacOverride()
    {
        if (geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_active = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~WithoutDacOverride()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

} // namespace

class TestExportPstwriter : public QObject {
    Q_OBJECT

    QString m_pst;
    QString m_out;
    PstDocument m_document;
    PstFolderItemPtr m_file;
    Run m_run;

    QByteArray output(const QString& relative) { return readAll(m_out + QStringLiteral("/Top of Personal Folders/") + relative); }

private slots:
    void initTestCase()
    {
        m_pst = QDir::temp().filePath("everything.pst");
        writeEverything(m_pst, "Everything");
        m_file = openPst(m_document, m_pst);
        QVERIFY(m_file);
        m_out = QDir::temp().filePath("everything-out");
        QDir(m_out).removeRecursively();
        m_run = runExport(m_file, m_out, ExportManager::allFormats().mid(0, 5));
        QCOMPARE(m_run.completions, 1);
    }

    // One export of hostile names; each row: where a folder or mail must land.
    void namesStayInside_data()
    {
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder ..") << "_/m.eml";
        QTest::newRow("folder .") << "__1/m.eml";
        QTest::newRow("folder ../x") << ".._x/m.eml";
        QTest::newRow("folder a/b") << "a_b/m.eml";
        QTest::newRow("folder a_b after a/b") << "a_b_1/m.eml";
        QTest::newRow("folder without name") << "__2/m.eml";
        QTest::newRow("folder named like a link in the way") << "Inbox_1/m.eml";
        QTest::newRow("subject ../../escape") << ".._.._escape.eml";
        QTest::newRow("subject with reserved characters") << "a_b_c_d_e_f_g_h_i.eml";
        QTest::newRow("subject with a line break") << "linebreak.eml";
        QTest::newRow("subject with a tab") << "tab_here.eml";
        QTest::newRow("no subject") << "mail.eml";
        QTest::newRow("same subject") << "Same.eml";
        QTest::newRow("same subject, second") << "Same_1.eml";
        QTest::newRow("same subject, third") << "Same_2.eml";
        QTest::newRow("long subject") << QString(125, QChar(0x00E9)) + ".eml";
        QTest::newRow("long subject, second") << QString(124, QChar(0x00E9)) + "_1.eml";
    }
    void namesStayInside()
    {
        QFETCH(QString, expected);
        static const QString sandbox = [] {
            const QString dir = QDir::temp().filePath("hostile");
            QDir(dir).removeRecursively();
            QDir().mkpath(dir + "/out");
            QDir().mkpath(dir + "/outside");
            QFile::link(dir + "/outside", dir + "/out/Inbox");
            const QString pst = QDir::temp().filePath("hostile.pst");
            writeHostile(pst);
            PstDocument document;
            const PstFolderItemPtr file = openPst(document, pst);
            const PstFolderItemPtr root = subfolder(subfolder(file, "Top of Personal Folders"), "Hostile");
            if (root)
                runExport(root, dir + "/out", {"eml"});
            return dir;
        }();
        QVERIFY2(QFileInfo::exists(sandbox + "/out/" + expected), qPrintable(filesBelow(sandbox).join('\n')));
        QVERIFY(QFile::encodeName(QFileInfo(expected).fileName()).size() <= 255);
        // Nothing anywhere but below the output directory.
        QCOMPARE(filesBelow(sandbox + "/outside"), QStringList());
        for (const QString& file : filesBelow(sandbox))
            QVERIFY2(file.startsWith("out/"), qPrintable(file));
    }

    void countsAndProgress_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("items");
        QTest::newRow("eml") << "eml" << 5;
        QTest::newRow("vcf") << "vcf" << 1;
        QTest::newRow("ics") << "ics" << 2;
        QTest::newRow("txt") << "txt" << 1;
        QTest::newRow("ics2") << "ics2" << 1;
    }
    void countsAndProgress()
    {
        QFETCH(QString, format);
        QFETCH(int, items);
        const ExportManager::FormatResult r = m_run.results.value(format);
        QCOMPARE(r.total, items);
        QCOMPARE(r.written, items);
        QCOMPARE(r.failed, 0);
        QCOMPARE(m_run.lastProgress.value(ExportManager::progressLabel(format)), items);
    }

    // Every file the standard readers read without a problem; every named
    // attachment of the full mail comes back byte for byte.
    void standardReadersAcceptEveryFile()
    {
        const QJsonObject files = readBack(m_out);
        QCOMPARE(files.size(), 9);
        const QStringList problems = problemsOf(files);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));

        QMap<QString, QByteArray> got;
        for (const QJsonValue& a : files.value("Top of Personal Folders/Inbox/Full.eml").toObject()["attachments"].toArray())
            got.insert(a.toArray().at(0).toString(), a.toArray().at(1).toString().toLatin1());
        for (const AttachmentCase& a : kAttachments) {
            const QString name = QString::fromUtf8(a.name);
            QCOMPARE(got.value(name), QCryptographicHash::hash(a.data, QCryptographicHash::Sha256).toHex());
        }
        QVERIFY(got.contains("rtf-body.rtf"));
        QVERIFY(got.contains("evil\r\nX-Injected: name.txt"));
    }

    void mailIsOneMessageWithSafeHeaders()
    {
        const QByteArray eml = output("Inbox/Full.eml");
        QVERIFY2(eml.startsWith("Status: RO\nFrom: \"Ann Lee\" <ann@example.com>\n"), eml.left(200).constData());
        // Body lines stay as the mail has them.
        QVERIFY(eml.contains("\nFrom here on\n>From quoted\n"));
        QVERIFY(!eml.contains(">From here"));
        // Nothing of the PST reaches a header line of its own.
        QVERIFY(!eml.contains("\nX-Injected"));
        QVERIFY(eml.contains("Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
                             "Content-ID: <cidX-Injected: id>\n"));
        // RFC 2231 names with two hex digits; quoted names escaped; a name
        // beyond ASCII only in the encoded form.
        QVERIFY(eml.contains("filename*=utf-8''report%20one.txt;\n        filename=\"report one.txt\"\n"));
        QVERIFY(eml.contains("filename*=utf-8''say%20%22hi%22.txt;\n        filename=\"say \\\"hi\\\".txt\"\n"));
        QVERIFY(eml.contains("filename*=utf-8''%c3%bcn%c3%af.txt\n\n"));
        QVERIFY(eml.contains("filename*=utf-8''evil%0d%0aX-Injected%3a%20name.txt\n\n"));
        // An HTML body without a declared charset is UTF-8.
        QVERIFY(eml.contains("Content-Type: text/html; charset=\"utf-8\"\n"));
        // The embedded message starts with its own headers.
        const qsizetype rfc822 = eml.indexOf("Content-Type: message/rfc822\n\n");
        QVERIFY(rfc822 > 0);
        QVERIFY(eml.mid(rfc822 + 30).startsWith("Status: RO\nFrom: \"Ann Lee\" <ann@example.com>\nSubject: Inner\n"));
        QVERIFY(eml.contains("\nFrom the inside\n"));
    }

    void storedHeadersReplaceGeneratedOnes()
    {
        const QByteArray eml = output("Inbox/Generated subject.eml");
        QVERIFY(eml.startsWith("Received: from relay\nSubject: Stored subject\nFrom: Stored <stored@example.com>\n"));
        QCOMPARE(eml.count("\nMIME-Version:"), 1);
        QCOMPARE(eml.count("\nContent-Type: multipart/mixed"), 1);
        QVERIFY(!eml.contains("Subject: Generated subject"));
        QVERIFY(eml.contains("Content-Type: text/plain; charset=\"utf-8\""));
    }

    void embeddedMessagesNestToAFixedDepth()
    {
        const QByteArray eml = output(QStringLiteral("Inbox/Level %1.eml").arg(mailwriter::kMaxEmbeddedDepth + 2));
        QCOMPARE(eml.count("Content-Type: message/rfc822"), mailwriter::kMaxEmbeddedDepth);
        QVERIFY(eml.contains("Subject: Level 2\n"));
        QVERIFY(!eml.contains("Subject: Level 1\n"));
        QVERIFY(eml.endsWith("--\n\n"));
    }

    void meetingRequestCarriesItsCalendarTwice()
    {
        const QByteArray eml = output("Inbox/Planning.eml");
        const QRegularExpression part(QStringLiteral(
            "Content-Type: text/calendar; method=\"REQUEST\"; charset=\"utf-8\"\n\n(BEGIN:VCALENDAR\n.*?END:VCALENDAR\n)"
            "\n\n--[^\n]+\nContent-Type: text/calendar; charset=\"utf-8\"; name=\"(i\\d+\\.ics)\"\n"
            "Content-Disposition: attachment; filename=\"\\2\"\n\n\\1"),
            QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch m = part.match(QString::fromUtf8(eml));
        QVERIFY2(m.hasMatch(), eml.constData());
        const QByteArray calendar = m.captured(1).toUtf8();
        QVERIFY(calendar.contains("\nMETHOD:REQUEST\n"));
        QVERIFY(calendar.contains("\nORGANIZER;CN=\"Ann Lee\":MAILTO:ann@example.com\n"));
        QVERIFY(calendar.contains("\nSUMMARY:Planning\n"));
        QVERIFY(calendar.contains("\nDTSTART;VALUE=DATE-TIME:20240603T090000Z\n"));
    }

    void contactCard()
    {
        const QByteArray card = output("Contacts/Ann Lee; Jr.vcf");
        QVERIFY2(card.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"), card.constData());
        for (const QByteArray& physical : card.split('\n'))
            QVERIFY2(physical.size() <= 76, physical.constData());  // 75 octets and the CR
        QCOMPARE(linesStartingWith(card, "FN:"), QList<QByteArray>{"FN:Lee\\; Jr\\, Ann"});
        QCOMPARE(linesStartingWith(card, "N:"), QList<QByteArray>{"N:Lee\\; Jr;Ann;;;"});
        QCOMPARE(linesStartingWith(card, "NICKNAME:"), QList<QByteArray>{"NICKNAME:Annie\\, A."});
        QCOMPARE(linesStartingWith(card, "TITLE:"), QList<QByteArray>{"TITLE:Lead\\; QA"});
        QCOMPARE(linesStartingWith(card, "ORG:"), QList<QByteArray>{"ORG:Acme\\, Inc.;R&D"});
        QCOMPARE(linesStartingWith(card, "TEL"), QList<QByteArray>{"TEL;TYPE=work,voice:+1 555 0001"});
        QCOMPARE(linesStartingWith(card, "AGENT:"),
                 QList<QByteArray>{"AGENT:BEGIN:VCARD\\nVERSION:3.0\\nFN:Bob Assistant\\nTEL:+1 555 0100\\nEND:VCARD\\n"});
        const QList<QByteArray> notes = linesStartingWith(card, "NOTE:");
        QCOMPARE(notes.size(), 1);
        QVERIFY(notes.first().startsWith("NOTE:Line one\\nLine two\\, with a comma\\; and a long tail"));
        QVERIFY(card.endsWith("END:VCARD\r\n\r\n"));
    }

    void calendarFiles()
    {
        const QByteArray standup = output("Calendar/Standup.ics");
        QVERIFY(standup.startsWith("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tarnwick//Marrowin "));
        QCOMPARE(linesStartingWith(standup, "RRULE:"), QList<QByteArray>{"RRULE:FREQ=WEEKLY;COUNT=10;INTERVAL=2;BYDAY=MO"});
        QCOMPARE(linesStartingWith(standup, "TRANSP:"), QList<QByteArray>{"TRANSP:TRANSPARENT"});
        QCOMPARE(linesStartingWith(standup, "CATEGORIES:"), QList<QByteArray>{"CATEGORIES:Team"});
        QCOMPARE(linesStartingWith(standup, "TRIGGER:"), QList<QByteArray>{"TRIGGER:-PT15M"});
        QCOMPARE(linesStartingWith(standup, "DESCRIPTION:Bring"), QList<QByteArray>{"DESCRIPTION:Bring notes\\, please"});
        QCOMPARE(linesStartingWith(standup, "LAST-MODIFIED:").size(), 1);
        QVERIFY(!standup.contains("LAST-MOD:"));

        // A recurrence without end has no count; no label and no keywords: no categories.
        const QByteArray endless = output("Calendar/Forever.ics");
        QCOMPARE(linesStartingWith(endless, "RRULE:"), QList<QByteArray>{"RRULE:FREQ=DAILY"});
        QVERIFY(!endless.contains("CATEGORIES"));

        const QByteArray journal = output("Journal/Call.ics");
        QVERIFY(journal.contains("\r\nBEGIN:VJOURNAL\r\nUID:0x"));
        QVERIFY(journal.contains("\r\nDTSTART;VALUE=DATE-TIME:20240603T090000Z\r\n"));
    }

    // A UID names its object: the same on every export of a file, different
    // in another file.
    void uidsAreStableAndDifferBetweenFiles()
    {
        const QByteArray first = linesStartingWith(output("Calendar/Standup.ics"), "UID:").value(0);
        QVERIFY(first.startsWith("UID:0x"));

        const QString again = QDir::temp().filePath("everything-again");
        QDir(again).removeRecursively();
        QCOMPARE(runExport(m_file, again, {"ics"}).completions, 1);
        QCOMPARE(linesStartingWith(readAll(again + "/Top of Personal Folders/Calendar/Standup.ics"), "UID:").value(0), first);

        const QString otherPst = QDir::temp().filePath("other.pst");
        writeEverything(otherPst, "Other store");
        PstDocument otherDocument;
        const PstFolderItemPtr other = openPst(otherDocument, otherPst);
        const QString otherOut = QDir::temp().filePath("other-out");
        QDir(otherOut).removeRecursively();
        QCOMPARE(runExport(other, otherOut, {"ics"}).completions, 1);
        const QByteArray second = linesStartingWith(readAll(otherOut + "/Top of Personal Folders/Calendar/Standup.ics"), "UID:").value(0);
        QVERIFY(second.startsWith("UID:0x"));
        QVERIFY(second != first);
    }

    void noteTextKeepsItsBody()
    {
        const QByteArray note = output("Notes/Buy milk.txt");
        const QList<QByteArray> lines = note.split('\n');
        QCOMPARE(lines.size(), 6);  // two times, subject, two body lines, end
        QVERIFY(!lines.at(0).isEmpty());
        QCOMPARE(lines.mid(2), (QList<QByteArray>{"Buy milk", "Buy milk", "2 litres", ""}));
    }

    void emptyFolders_data()
    {
        QTest::addColumn<bool>("ignoreEmpty");
        QTest::addColumn<bool>("emptyKept");
        QTest::newRow("left out") << true << false;
        QTest::newRow("kept") << false << true;
    }
    void emptyFolders()
    {
        QFETCH(bool, ignoreEmpty);
        QFETCH(bool, emptyKept);
        const QString out = QDir::temp().filePath(QStringLiteral("empty-%1").arg(ignoreEmpty));
        QDir(out).removeRecursively();
        QCOMPARE(runExport(m_file, out, {"eml"}, ignoreEmpty).completions, 1);
        const QString top = out + "/Top of Personal Folders/";
        QCOMPARE(QFileInfo::exists(top + "Empty/Empty child"), emptyKept);
        QCOMPARE(QFileInfo::exists(top + "Contacts"), emptyKept);  // nothing of a chosen format
        QVERIFY(QFileInfo::exists(top + "Holder/Filled child/Child mail.eml"));
    }

    // Only journal entries chosen: their files only, with .ics like appointments.
    void journalEntriesAlone()
    {
        const QString out = QDir::temp().filePath("journal-only");
        QDir(out).removeRecursively();
        const Run run = runExport(m_file, out, {"ics2"});
        QCOMPARE(run.results.keys(), QStringList{"ics2"});
        QCOMPARE(filesBelow(out), QStringList{"Top of Personal Folders/Journal/Call.ics"});
    }

    void mailboxes()
    {
        const QString out = QDir::temp().filePath("mbox-out");
        QDir(out).removeRecursively();
        const Run run = runExport(m_file, out, {"mbox"});
        QCOMPARE(run.results.value("mbox").written, 5);
        QCOMPARE(filesBelow(out), (QStringList{"Top of Personal Folders", "Top of Personal Folders.sbd/Holder",
                                               "Top of Personal Folders.sbd/Holder.sbd/Filled child",
                                               "Top of Personal Folders.sbd/Inbox"}));
        const QByteArray inbox = readAll(out + "/Top of Personal Folders.sbd/Inbox");
        QVERIFY(inbox.startsWith("From \"ann@example.com\" "));
        QCOMPARE(inbox.count("\n\nFrom \""), 3);
        QVERIFY(inbox.contains("\n>From here on\n>>From quoted\n"));
        QVERIFY(inbox.contains("\n>From the inside\n"));  // inside an embedded message too
        const QJsonObject boxes = readBack(out, true);
        QVERIFY2(problemsOf(boxes).isEmpty(), qPrintable(problemsOf(boxes).join('\n')));
        QCOMPARE(boxes.value("Top of Personal Folders.sbd/Inbox").toObject().value("messages").toInt(), 4);
    }

    // Cancelling while an item waits for the library: that item fails, no
    // other starts, and completion still comes once.
    void cancellation()
    {
        const QString out = QDir::temp().filePath("cancelled");
        QDir(out).removeRecursively();
        QMutexLocker lock(&pstLibraryMutex());
        const Run run = runExport(m_file, out, {"eml", "vcf"}, true, [&lock](ExportManager& manager) {
            QTest::qWait(100);  // the worker is now waiting for the lock
            manager.cancelExport();
            QVERIFY(!manager.isExporting());
            lock.unlock();
        });
        QCOMPARE(run.completions, 1);
        const auto r = run.results.value("eml");
        QCOMPARE(r.written, 0);
        QCOMPARE(r.failed, 1);
        QCOMPARE(run.results.value("vcf").written + run.results.value("vcf").failed, 0);
        QCOMPARE(filesBelow(out), QStringList());
    }

    void unwritableOutputFails()
    {
        const QString out = QDir::temp().filePath("read-only");
        QDir(out).removeRecursively();
        QVERIFY(QDir().mkpath(out));
        QVERIFY(QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner));
        Run run;
        {
            WithoutDacOverride lowered;
            run = runExport(m_file, out, {"eml", "vcf"});
        }
        QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(run.completions, 1);
        QCOMPARE(run.results.value("eml").written, 0);
        QCOMPARE(run.results.value("eml").failed, 5);
        QCOMPARE(run.results.value("vcf").failed, 1);
        QCOMPARE(filesBelow(out), QStringList());
    }

    // A file cut short by a write error is removed, a mailbox entry cut off.
    void writeErrorsLeaveNoPartialOutput_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("eml") << "eml";
        QTest::newRow("mbox") << "mbox";
    }
    void writeErrorsLeaveNoPartialOutput()
    {
        QFETCH(QString, format);
        const QString pst = QDir::temp().filePath("big.pst");
        {
            PstWriter w(pst);
            const FolderId inbox = w.addFolder(w.ipmSubtree(), "Inbox");
            w.addMail(inbox, mail("Small one"));
            MessageSpec big = mail("Big");
            big.attachments.push_back(AttachmentSpec::file("big.bin", QByteArray(300 * 1024, 'x')));
            w.addMail(inbox, big);
            w.addMail(inbox, mail("Small two"));
            QVERIFY(w.finish());
        }
        PstDocument document;
        const PstFolderItemPtr file = openPst(document, pst);
        QVERIFY(file);
        const QString out = QDir::temp().filePath("fsize-" + format);
        QDir(out).removeRecursively();

        struct rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = saved;
        limited.rlim_cur = 64 * 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const Run run = runExport(file, out, {format});
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(run.completions, 1);
        QCOMPARE(run.results.value(format).written, 2);
        QCOMPARE(run.results.value(format).failed, 1);
        if (format == "eml") {
            QCOMPARE(filesBelow(out), (QStringList{"Top of Personal Folders/Inbox/Small one.eml",
                                                   "Top of Personal Folders/Inbox/Small two.eml"}));
        } else {
            const QJsonObject boxes = readBack(out, true);
            QCOMPARE(boxes.value("Top of Personal Folders.sbd/Inbox").toObject().value("messages").toInt(), 2);
            QVERIFY(problemsOf(boxes).isEmpty());
        }
    }

    // Folders the export had to load itself keep no item records afterwards
    // (it works from descriptors), so memory does not grow with the file; a
    // later use reads the items again.
    void exportLetsItemRecordsGo()
    {
        const PstFolderItemPtr top = subfolder(m_file, "Top of Personal Folders");
        const PstFolderItemPtr inbox = subfolder(top, "Inbox");
        QVERIFY(inbox && !inbox->isLoaded());
        QVERIFY(inbox->items().isEmpty());
        const int subfolders = top->subfolders().size();
        inbox->loadChildren();
        QVERIFY(!inbox->items().isEmpty());
        top->loadChildren();
        QCOMPARE(top->subfolders().size(), subfolders);
        QCOMPARE(subfolder(top, "Inbox"), inbox);
    }

    // The writer called alone, as saving one message does.
    void mailWriterOnADevice()
    {
        PstDocument document;
        const PstFolderItemPtr file = openPst(document, m_pst);
        const PstFolderItemPtr inbox = subfolder(subfolder(file, "Top of Personal Folders"), "Inbox");
        QVERIFY(inbox);
        inbox->loadChildren();
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QMutexLocker lock(&pstLibraryMutex());
        pst_item* item = pstParseItemChecked(document.handle().get(), inbox->items().first()->descriptor());
        QVERIFY(item);
        QVERIFY(mailwriter::writeMail(&buffer, document.handle().get(), item));
        pst_freeItem(item);
        QCOMPARE(bytes, output("Inbox/Full.eml"));
    }
};

QTEST_GUILESS_MAIN(TestExportPstwriter)
#include "tst_export_pstwriter.moc"
