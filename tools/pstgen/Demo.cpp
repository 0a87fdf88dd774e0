#include "Demo.h"

#include <QBuffer>
#include <QColor>
#include <QImage>

using namespace pstw;

namespace {

QDateTime at(int y, int mo, int d, int h = 9, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

QByteArray png(int w, int h, const QColor &color)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    for (int y = 0; y < h; y += 8)
        for (int x = (y / 8) % 2 * 8; x < w; x += 16)
            for (int k = 0; k < 8 && y + k < h; ++k)
                for (int j = 0; j < 8 && x + j < w; ++j)
                    img.setPixelColor(x + j, y + k, color.darker(120));
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return out;
}

QByteArray fakePdf(const QString &title)
{
    QByteArray body = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                      "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n"
                      "% " + title.toUtf8() + "\ntrailer << /Root 1 0 R >>\n%%EOF\n";
    return body;
}

Recipient to(const QString &name, const QString &mail, Recipient::Type t = Recipient::To)
{
    Recipient r;
    r.name = name;
    r.email = mail;
    r.type = t;
    return r;
}

} // namespace

bool writeDemo(const QString &path, PstFormat format, PstEncryption encryption)
{
    PstWriter w(path, format, encryption, QStringLiteral("Marrowin Demo"));
    const FolderId top = w.ipmSubtree();
    const FolderId inbox = w.addFolder(top, QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
    const FolderId projects = w.addFolder(inbox, QStringLiteral("Projects"), QStringLiteral("IPF.Note"));
    const FolderId sent = w.addFolder(top, QStringLiteral("Sent Items"), QStringLiteral("IPF.Note"));
    const FolderId contacts = w.addFolder(top, QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    const FolderId calendar = w.addFolder(top, QStringLiteral("Calendar"), QStringLiteral("IPF.Appointment"));
    const FolderId tasks = w.addFolder(top, QStringLiteral("Tasks"), QStringLiteral("IPF.Task"));
    const FolderId journal = w.addFolder(top, QStringLiteral("Journal"), QStringLiteral("IPF.Journal"));
    const FolderId notes = w.addFolder(top, QStringLiteral("Notes"), QStringLiteral("IPF.StickyNote"));

    const QString me = QStringLiteral("Alex Morgan");
    const QString meMail = QStringLiteral("alex.morgan@example.com");

    // HTML newsletter with two inline images and a PDF.
    {
        MessageSpec m;
        m.subject = QStringLiteral("Spring product update");
        m.senderName = QStringLiteral("Northwind Newsletter");
        m.senderEmail = QStringLiteral("news@northwind.example");
        m.sent = at(2024, 4, 2, 8, 0);
        m.received = at(2024, 4, 2, 8, 1);
        m.recipients = {to(me, meMail)};
        m.html = QByteArray(
            "<html><head><meta charset=\"utf-8\"><title>Spring update</title></head><body>"
            "<h1 style=\"color:#2b5797\">Spring product update</h1>"
            "<p><img src=\"cid:banner@northwind\" alt=\"banner\" width=\"320\" height=\"80\"></p>"
            "<p>Dear Alex,</p><p>our new <b>Northwind Tea</b> range arrives in May. "
            "Prices and the full catalogue are in the attached PDF.</p>"
            "<p><img src=\"cid:logo@northwind\" alt=\"logo\" width=\"48\" height=\"48\"> The Northwind team</p>"
            "</body></html>");
        m.body = QStringLiteral("Dear Alex,\r\nour new Northwind Tea range arrives in May.\r\nThe Northwind team\r\n");
        m.props.setInt32(tag::InternetCodepage, 65001);
        m.attachments.push_back(AttachmentSpec::file(QStringLiteral("banner.png"), png(320, 80, QColor(43, 87, 151)),
                                                     QStringLiteral("image/png"), QStringLiteral("banner@northwind")));
        m.attachments.push_back(AttachmentSpec::file(QStringLiteral("logo.png"), png(48, 48, QColor(200, 120, 40)),
                                                     QStringLiteral("image/png"), QStringLiteral("logo@northwind")));
        m.attachments.push_back(AttachmentSpec::file(QStringLiteral("Northwind catalogue 2024.pdf"),
                                                     fakePdf(QStringLiteral("catalogue")), QStringLiteral("application/pdf")));
        w.addMail(inbox, m);
    }
    // Plain mail with Cc and Bcc, unread.
    {
        MessageSpec m;
        m.subject = QStringLiteral("Budget meeting moved to Thursday");
        m.senderName = QStringLiteral("Beth Carter");
        m.senderEmail = QStringLiteral("beth.carter@example.com");
        m.sent = at(2024, 4, 3, 14, 12);
        m.received = at(2024, 4, 3, 14, 13);
        m.recipients = {to(me, meMail), to(QStringLiteral("Chris Dale"), QStringLiteral("chris.dale@example.com"), Recipient::Cc),
                        to(QStringLiteral("Finance Archive"), QStringLiteral("archive@example.com"), Recipient::Bcc)};
        m.body = QStringLiteral("Hi Alex,\r\n\r\nthe budget meeting moves to Thursday 10:00, room 3.14.\r\n\r\nBeth\r\n");
        m.read = false;
        m.messageId = QStringLiteral("<budget-0403@example.com>");
        w.addMail(inbox, m);
    }
    // A forward carrying the original as an embedded message.
    {
        MessageSpec original;
        original.subject = QStringLiteral("Server maintenance window");
        original.senderName = QStringLiteral("IT Operations");
        original.senderEmail = QStringLiteral("it-ops@example.com");
        original.sent = original.received = at(2024, 3, 28, 17, 45);
        original.recipients = {to(QStringLiteral("All Staff"), QStringLiteral("staff@example.com"))};
        original.body = QStringLiteral("The mail servers are down on Saturday from 22:00 to 02:00.\r\n");
        original.attachments.push_back(AttachmentSpec::file(QStringLiteral("schedule.txt"),
                                                            "Saturday 22:00 - 02:00: mail\r\nSunday 02:00 - 03:00: backup\r\n",
                                                            QStringLiteral("text/plain")));
        MessageSpec m;
        m.subject = QStringLiteral("FW: Server maintenance window");
        m.senderName = QStringLiteral("Chris Dale");
        m.senderEmail = QStringLiteral("chris.dale@example.com");
        m.sent = at(2024, 3, 29, 9, 5);
        m.received = at(2024, 3, 29, 9, 6);
        m.recipients = {to(me, meMail)};
        m.body = QStringLiteral("FYI, see the original below.\r\n");
        m.attachments.push_back(AttachmentSpec::message(original));
        w.addMail(inbox, m);
    }
    // Meeting request.
    {
        AppointmentSpec a;
        a.meetingRequest = true;
        a.subject = QStringLiteral("Project kickoff");
        a.location = QStringLiteral("Conference room Ada");
        a.start = at(2024, 4, 15, 13, 0);
        a.end = at(2024, 4, 15, 14, 30);
        a.organizerName = QStringLiteral("Dana Evans");
        a.organizerEmail = QStringLiteral("dana.evans@example.com");
        a.attendees = {to(me, meMail), to(QStringLiteral("Beth Carter"), QStringLiteral("beth.carter@example.com"))};
        a.body = QStringLiteral("Agenda: goals, timeline, roles.");
        w.addMessage(projects, a.toMessage());
    }
    // Non-ASCII text in several encodings.
    {
        MessageSpec m;
        m.subject = QString::fromUtf8("Grüße aus München – Übersicht");
        m.senderName = QString::fromUtf8("Jürgen Groß");
        m.senderEmail = QStringLiteral("juergen@example.de");
        m.sent = m.received = at(2024, 2, 20, 11, 30);
        m.recipients = {to(me, meMail)};
        m.body = QString::fromUtf8("Schöne Grüße, bis nächste Woche!\r\n");
        w.addMail(projects, m);

        MessageSpec cn;   // PT_STRING8 in GBK, no code page property
        cn.props.setString8(tag::Subject, QString::fromUtf8("会议纪要：第二季度计划"), "GBK");
        cn.props.setString8(tag::Body, QString::fromUtf8("各位好，附件是第二季度的计划。\r\n"), "GBK");
        cn.props.setString8(tag::SentRepresentingName, QString::fromUtf8("王伟"), "GBK");
        cn.senderEmail = QStringLiteral("wang.wei@example.cn");
        cn.sent = cn.received = at(2024, 3, 11, 3, 20);
        cn.recipients = {to(me, meMail)};
        w.addMail(projects, cn);

        MessageSpec ru;   // PT_STRING8 in Windows-1251 with its code page
        ru.props.setString8(tag::Subject, QString::fromUtf8("Отчёт за март"), "WINDOWS-1251");
        ru.props.setString8(tag::Body, QString::fromUtf8("Добрый день! Отчёт во вложении.\r\n"), "WINDOWS-1251");
        ru.props.setInt32(tag::MessageCodepage, 1251);
        ru.senderName = QStringLiteral("Olga Ivanova");
        ru.senderEmail = QStringLiteral("olga@example.ru");
        ru.sent = ru.received = at(2024, 4, 1, 7, 0);
        ru.recipients = {to(me, meMail)};
        w.addMail(projects, ru);

        MessageSpec jp;
        jp.subject = QString::fromUtf8("お見積もりの件");
        jp.senderName = QString::fromUtf8("佐藤 花子");
        jp.senderEmail = QStringLiteral("sato@example.jp");
        jp.sent = jp.received = at(2024, 4, 5, 1, 15);
        jp.recipients = {to(me, meMail)};
        jp.html = QString::fromUtf8("<html><body><p>いつもお世話になっております。</p><p>お見積もりを添付いたします。</p></body></html>").toUtf8();
        jp.props.setInt32(tag::InternetCodepage, 65001);
        jp.attachments.push_back(AttachmentSpec::file(QString::fromUtf8("見積書.txt"), QString::fromUtf8("合計: 120,000円\r\n").toUtf8(),
                                                      QStringLiteral("text/plain")));
        w.addMail(projects, jp);

        MessageSpec rtf;
        rtf.subject = QStringLiteral("Formatted notes (RTF)");
        rtf.senderName = QStringLiteral("Beth Carter");
        rtf.senderEmail = QStringLiteral("beth.carter@example.com");
        rtf.sent = rtf.received = at(2024, 4, 8, 16, 40);
        rtf.recipients = {to(me, meMail)};
        rtf.rtf = QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0\\fs22 Notes from today:\\par "
                             "\\b Decisions\\b0\\par - ship in May\\par - hire two testers\\par }");
        rtf.body = QStringLiteral("Notes from today:\r\nDecisions\r\n- ship in May\r\n- hire two testers\r\n");
        w.addMail(inbox, rtf);
    }
    // Sent and deleted mail.
    {
        MessageSpec m;
        m.subject = QStringLiteral("Re: Budget meeting moved to Thursday");
        m.senderName = me;
        m.senderEmail = meMail;
        m.sent = m.received = at(2024, 4, 3, 15, 0);
        m.recipients = {to(QStringLiteral("Beth Carter"), QStringLiteral("beth.carter@example.com"))};
        m.body = QStringLiteral("Thursday works for me.\r\n\r\nAlex\r\n");
        w.addMail(sent, m);
        MessageSpec d;
        d.subject = QStringLiteral("You have won a prize!!!");
        d.senderName = QStringLiteral("Prize Office");
        d.senderEmail = QStringLiteral("winner@spam.example");
        d.sent = d.received = at(2024, 3, 30, 2, 2);
        d.recipients = {to(me, meMail)};
        d.body = QStringLiteral("Click here to claim.");
        w.addMail(w.deletedItems(), d);
    }
    // Contacts.
    {
        ContactSpec c;
        c.givenName = QStringLiteral("Beth");
        c.surname = QStringLiteral("Carter");
        c.company = QStringLiteral("Example Corp");
        c.department = QStringLiteral("Finance");
        c.jobTitle = QStringLiteral("Controller");
        c.email1 = QStringLiteral("beth.carter@example.com");
        c.businessPhone = QStringLiteral("+1 555 0101");
        c.mobilePhone = QStringLiteral("+1 555 0199");
        c.businessAddress = QStringLiteral("1 Harbour Road\r\nPortsmouth, NH 03801\r\nUSA");
        c.businessHomePage = QStringLiteral("https://example.com");
        c.note = QStringLiteral("Prefers calls before noon.");
        w.addContact(contacts, c);
        ContactSpec j;
        j.givenName = QString::fromUtf8("Jürgen");
        j.surname = QString::fromUtf8("Groß");
        j.company = QStringLiteral("Beispiel GmbH");
        j.email1 = QStringLiteral("juergen@example.de");
        j.email2 = QStringLiteral("j.gross@home.example.de");
        j.homePhone = QStringLiteral("+49 89 1234567");
        j.homeAddress = QString::fromUtf8("Leopoldstraße 12\r\n80802 München");
        w.addContact(contacts, j);
        ContactSpec s;
        s.givenName = QString::fromUtf8("花子");
        s.surname = QString::fromUtf8("佐藤");
        s.company = QString::fromUtf8("見本株式会社");
        s.email1 = QStringLiteral("sato@example.jp");
        s.businessFax = QStringLiteral("+81 3 1234 5679");
        w.addContact(contacts, s);
    }
    // Calendar.
    {
        AppointmentSpec a;
        a.subject = QStringLiteral("Team standup");
        a.location = QStringLiteral("Video call");
        a.start = at(2024, 4, 1, 9, 0);
        a.end = at(2024, 4, 1, 9, 15);
        a.recurrence = Recurrence{Recurrence::Weekly, 1, 20, QStringLiteral("every Monday from 09:00 to 09:15")};
        w.addAppointment(calendar, a);
        AppointmentSpec d;
        d.subject = QStringLiteral("Dentist");
        d.location = QStringLiteral("Dr. Smile, 4 Elm Street");
        d.start = at(2024, 4, 10, 15, 30);
        d.end = at(2024, 4, 10, 16, 15);
        d.body = QStringLiteral("Bring the insurance card.");
        w.addAppointment(calendar, d);
        AppointmentSpec h;
        h.subject = QStringLiteral("Company offsite");
        h.start = at(2024, 5, 6, 0, 0);
        h.end = at(2024, 5, 8, 0, 0);
        h.allDay = true;
        w.addAppointment(calendar, h);
    }
    // Tasks with the task properties in various combinations.
    {
        TaskSpec t;
        t.subject = QStringLiteral("Prepare Q2 budget");
        t.start = at(2024, 4, 1);
        t.due = at(2024, 4, 19);
        t.status = 1;
        t.percentComplete = 0.5;
        t.estimatedEffort = 480;
        t.actualEffort = 240;
        t.owner = me;
        t.body = QStringLiteral("Collect numbers from all departments.");
        w.addTask(tasks, t);
        TaskSpec d;
        d.subject = QStringLiteral("Renew passport");
        d.due = at(2024, 6, 30);
        w.addTask(tasks, d);
        TaskSpec c;
        c.subject = QStringLiteral("Book offsite venue");
        c.start = at(2024, 3, 1);
        c.due = at(2024, 3, 15);
        c.completed = at(2024, 3, 12);
        c.status = 2;
        c.percentComplete = 1.0;
        c.complete = true;
        c.owner = QStringLiteral("Dana Evans");
        w.addTask(tasks, c);
    }
    // Journal.
    {
        JournalSpec j;
        j.subject = QStringLiteral("Call with Northwind about pricing");
        j.type = QStringLiteral("Phone call");
        j.start = at(2024, 4, 4, 10, 0);
        j.end = at(2024, 4, 4, 10, 25);
        j.durationMinutes = 25;
        j.body = QStringLiteral("Agreed on 5% discount for orders over 100 units.");
        w.addJournal(journal, j);
        JournalSpec m;
        m.subject = QStringLiteral("Quarterly review meeting");
        m.type = QStringLiteral("Meeting");
        m.start = at(2024, 3, 28, 14, 0);
        m.end = at(2024, 3, 29, 15, 0);
        m.durationMinutes = 1500;
        w.addJournal(journal, m);
    }
    // Sticky notes.
    {
        NoteSpec n;
        n.subject = QStringLiteral("Wi-Fi password");
        n.body = QStringLiteral("Wi-Fi password\r\nguest: tea-time-2024");
        n.created = n.modified = at(2024, 4, 2, 12, 0);
        w.addNote(notes, n);
        NoteSpec b;
        b.subject = QStringLiteral("Buy milk");
        b.body = QStringLiteral("Buy milk");
        b.color = 1;
        b.created = b.modified = at(2024, 4, 9, 18, 30);
        w.addNote(notes, b);
    }
    return w.finish();
}
