#pragma once
// A small mailbox for the search tests, written with PstWriter:
//   Top of Personal Folders
//     Inbox         "Quarterly REPORT" from Ann Lee to Bob, body "budget numbers", plan.pdf
//       Projects    "report draft", body "budget draft"
//     Sent Items    "report final", body "budget final"
//     Contacts      Beth Carter, Northwind
//     Calendar      "Report review" in Room 3

#include "PstWriter.h"

#include <QString>

struct SearchFixture {
    pstw::FolderId inbox = 0, projects = 0, sent = 0, contacts = 0, calendar = 0;
    pstw::MessageId quarterly = 0, draft = 0, final = 0, contact = 0, appointment = 0;
};

inline bool writeSearchFixture(const QString& path, SearchFixture* ids = nullptr)
{
    using namespace pstw;
    SearchFixture f;
    PstWriter w(path);
    f.inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
    f.projects = w.addFolder(f.inbox, QStringLiteral("Projects"));
    f.sent = w.addFolder(w.ipmSubtree(), QStringLiteral("Sent Items"));
    f.contacts = w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    f.calendar = w.addFolder(w.ipmSubtree(), QStringLiteral("Calendar"), QStringLiteral("IPF.Appointment"));
    const QDateTime when(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
    auto mail = [&](FolderId folder, const QString& subject, const QString& body) {
        MessageSpec m;
        m.subject = subject;
        m.body = body;
        m.senderName = QStringLiteral("Ann Lee");
        m.senderEmail = QStringLiteral("ann@example.com");
        m.recipients = {{QStringLiteral("Bob"), QStringLiteral("bob@example.com")}};
        m.sent = m.received = when;
        return m;
    };
    MessageSpec quarterly = mail(f.inbox, QStringLiteral("Quarterly REPORT"), QStringLiteral("budget numbers"));
    quarterly.attachments.push_back(AttachmentSpec::file(QStringLiteral("plan.pdf"), QByteArray("%PDF-1.4")));
    f.quarterly = w.addMail(f.inbox, quarterly);
    f.draft = w.addMail(f.projects, mail(f.projects, QStringLiteral("report draft"), QStringLiteral("budget draft")));
    f.final = w.addMail(f.sent, mail(f.sent, QStringLiteral("report final"), QStringLiteral("budget final")));
    ContactSpec c;
    c.givenName = QStringLiteral("Beth");
    c.surname = QStringLiteral("Carter");
    c.company = QStringLiteral("Northwind");
    c.email1 = QStringLiteral("beth@example.com");
    f.contact = w.addContact(f.contacts, c);
    AppointmentSpec a;
    a.subject = QStringLiteral("Report review");
    a.location = QStringLiteral("Room 3");
    a.start = when;
    a.end = when.addSecs(3600);
    f.appointment = w.addAppointment(f.calendar, a);
    if (ids)
        *ids = f;
    return w.finish();
}
