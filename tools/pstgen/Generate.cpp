#include "Generate.h"

#include <random>

using namespace pstw;

namespace {

const char *const kWords[] = {
    "report", "meeting", "budget", "project", "schedule", "review", "client", "update", "proposal", "invoice",
    "contract", "deadline", "team", "quarter", "sales", "forecast", "design", "release", "support", "travel",
    "the", "and", "for", "with", "please", "thanks", "regards", "next", "week", "today", "tomorrow", "call"};
const char *const kNames[] = {"Ann Archer", "Bob Baker", "Cy Cole", "Di Dunn", "Ed Evans", "Flo Fox", "Gus Gray", "Hal Hart"};

class Gen {
public:
    explicit Gen(quint32 seed) : m_rng(seed) {}
    int pick(int n) { return int(m_rng() % uint32_t(n)); }
    QString words(int bytes)
    {
        QString s;
        s.reserve(bytes + 16);
        int line = 0;
        while (s.size() < bytes) {
            const QLatin1String w(kWords[pick(int(std::size(kWords)))]);
            s += w;
            line += int(w.size()) + 1;
            if (line > 70) {
                s += QLatin1String("\r\n");
                line = 0;
            } else {
                s += QLatin1Char(' ');
            }
        }
        s.truncate(bytes);
        return s;
    }
    QByteArray binary(int n)
    {
        QByteArray b(n, '\0');
        for (int i = 0; i < n; i += 4) {
            const uint32_t v = m_rng();
            for (int k = 0; k < 4 && i + k < n; ++k)
                b[i + k] = char(v >> (8 * k));
        }
        return b;
    }
    QString name() { return QLatin1String(kNames[pick(int(std::size(kNames)))]); }
    // Paragraphs of words with a little markup, about bytes long.
    QByteArray html(int bytes)
    {
        QByteArray s("<html><head><style>p { margin: 0 }</style></head><body>");
        while (s.size() < bytes - 20) {
            s += "<p>";
            s += words(qMin(400, bytes - int(s.size()))).toUtf8();
            s += " <b>" + QByteArray(kWords[pick(int(std::size(kWords)))]) + "</b> &amp; more</p>\r\n";
        }
        return s + "</body></html>";
    }

private:
    std::mt19937 m_rng;
};

QString mailOf(const QString &name) { return name.toLower().replace(QLatin1Char(' '), QLatin1Char('.')) + QStringLiteral("@example.com"); }

} // namespace

GenerateResult generateMailbox(const QString &path, const GenerateOptions &o)
{
    GenerateResult r;
    Gen g(o.seed);
    PstWriter w(path, o.format, o.encryption, QStringLiteral("Generated"));
    const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
    ++r.folders;
    QList<FolderId> mailFolders;
    if (o.folders <= 1) {
        mailFolders << inbox;
    } else {
        for (int i = 0; i < o.folders; ++i)
            mailFolders << w.addFolder(inbox, QStringLiteral("Folder %1").arg(i + 1));
        r.folders += o.folders;
    }
    const QDateTime base(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < o.mails; ++i) {
        MessageSpec m;
        const QString from = g.name();
        const QString to = g.name();
        m.subject = QStringLiteral("%1 %2 #%3").arg(g.words(12).trimmed(), g.words(10).trimmed()).arg(i + 1);
        m.senderName = from;
        m.senderEmail = mailOf(from);
        if (o.exchangeEvery > 0 && (i + 1) % o.exchangeEvery == 0) {
            m.props.setText(tag::SentRepresentingEmailAddress,
                            QStringLiteral("/o=Generated/ou=Exchange/cn=Recipients/cn=") + from.toLower().remove(' '));
            m.props.setText(PropKey(0x5D02), m.senderEmail);
        }
        m.recipients = {{to, mailOf(to)}};
        m.sent = base.addSecs(qint64(i) * 600);
        m.received = m.sent.addSecs(30);
        m.body = g.words(o.bodySize);
        if (o.htmlSize > 0)
            m.html = g.html(o.htmlSize);
        m.read = g.pick(4) != 0;
        if (o.attachEvery > 0 && (i + 1) % o.attachEvery == 0) {
            m.attachments.push_back(AttachmentSpec::file(QStringLiteral("attachment-%1.bin").arg(i + 1), g.binary(o.attachSize),
                                                         QStringLiteral("application/octet-stream")));
            ++r.attachments;
        }
        if (!w.addMail(mailFolders[i % mailFolders.size()], m))
            return r;
        ++r.items;
    }
    auto kindFolder = [&](int count, const char *name, const char *cls) -> FolderId {
        if (count <= 0)
            return 0;
        ++r.folders;
        return w.addFolder(w.ipmSubtree(), QLatin1String(name), QLatin1String(cls));
    };
    if (FolderId f = kindFolder(o.contacts, "Contacts", "IPF.Contact")) {
        for (int i = 0; i < o.contacts; ++i) {
            ContactSpec c;
            c.givenName = QStringLiteral("Given%1").arg(i + 1);
            c.surname = QLatin1String(kWords[g.pick(20)]);
            c.email1 = mailOf(c.givenName + QLatin1Char(' ') + c.surname);
            c.businessPhone = QStringLiteral("+1 555 %1").arg(1000 + i);
            w.addContact(f, c);
            ++r.items;
        }
    }
    if (FolderId f = kindFolder(o.appointments, "Calendar", "IPF.Appointment")) {
        for (int i = 0; i < o.appointments; ++i) {
            AppointmentSpec a;
            a.subject = QStringLiteral("Appointment %1").arg(i + 1);
            a.start = base.addDays(i);
            a.end = a.start.addSecs(1800 + 900 * g.pick(4));
            a.location = QStringLiteral("Room %1").arg(g.pick(20));
            if (i % 7 == 0)
                a.recurrence = Recurrence{Recurrence::Weekly, 1, 10, QStringLiteral("weekly")};
            w.addAppointment(f, a);
            ++r.items;
        }
    }
    if (FolderId f = kindFolder(o.tasks, "Tasks", "IPF.Task")) {
        for (int i = 0; i < o.tasks; ++i) {
            TaskSpec t;
            t.subject = QStringLiteral("Task %1").arg(i + 1);
            t.due = base.addDays(i);
            t.status = g.pick(5);
            t.percentComplete = g.pick(5) / 4.0;
            w.addTask(f, t);
            ++r.items;
        }
    }
    if (FolderId f = kindFolder(o.journal, "Journal", "IPF.Journal")) {
        for (int i = 0; i < o.journal; ++i) {
            JournalSpec j;
            j.subject = QStringLiteral("Call %1").arg(i + 1);
            j.start = base.addDays(i);
            j.durationMinutes = 5 + g.pick(60);
            j.end = j.start.addSecs(qint64(*j.durationMinutes) * 60);
            w.addJournal(f, j);
            ++r.items;
        }
    }
    if (FolderId f = kindFolder(o.notes, "Notes", "IPF.StickyNote")) {
        for (int i = 0; i < o.notes; ++i) {
            NoteSpec n;
            n.subject = QStringLiteral("Note %1").arg(i + 1);
            n.body = n.subject + QStringLiteral("\r\n") + g.words(80);
            n.created = n.modified = base.addDays(i);
            w.addNote(f, n);
            ++r.items;
        }
    }
    r.ok = w.finish();
    return r;
}
