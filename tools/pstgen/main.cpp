// pstgen: writes the demo mailbox (--demo FILE) or a generated mailbox of
// a given size and mix (--out FILE with the size options).
#include "Demo.h"
#include "Generate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Writes PST files: the demo mailbox or generated benchmark mailboxes."));
    p.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Write the demo mailbox to <file>."), QStringLiteral("file"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Write a generated mailbox to <file>."), QStringLiteral("file"));
    const QCommandLineOption ansi(QStringLiteral("ansi"), QStringLiteral("ANSI (32-bit) format instead of Unicode."));
    const QCommandLineOption comp(QStringLiteral("compressible"), QStringLiteral("Compressible encryption."));
    auto num = [](const char *name, const char *help) { return QCommandLineOption(QLatin1String(name), QLatin1String(help), QStringLiteral("n")); };
    const QCommandLineOption mails = num("mails", "Number of mails (default 1000).");
    const QCommandLineOption folders = num("folders", "Mail folders under Inbox (default 1).");
    const QCommandLineOption body = num("body-size", "Body bytes per mail (default 2048).");
    const QCommandLineOption html = num("html-size", "HTML body bytes per mail (default 0: none).");
    const QCommandLineOption every = num("attach-every", "Every n-th mail has an attachment (default 10, 0 none).");
    const QCommandLineOption asize = num("attach-size", "Attachment bytes (default 20480).");
    const QCommandLineOption exchange = num("exchange-every", "Every n-th mail's sender has only an Exchange path and an SMTP property (default 0, none).");
    const QCommandLineOption contacts = num("contacts", "Number of contacts.");
    const QCommandLineOption appts = num("appointments", "Number of appointments.");
    const QCommandLineOption tasks = num("tasks", "Number of tasks.");
    const QCommandLineOption journal = num("journal", "Number of journal entries.");
    const QCommandLineOption notes = num("notes", "Number of sticky notes.");
    const QCommandLineOption seed = num("seed", "Random seed (default 1).");
    p.addOptions({demo, out, ansi, comp, mails, folders, body, html, every, asize, exchange, contacts, appts, tasks, journal, notes, seed});
    p.process(app);

    const pstw::PstFormat format = p.isSet(ansi) ? pstw::PstFormat::Ansi : pstw::PstFormat::Unicode;
    const pstw::PstEncryption enc = p.isSet(comp) ? pstw::PstEncryption::Compressible : pstw::PstEncryption::None;
    QTextStream err(stderr);
    if (p.isSet(demo)) {
        const int items = writeDemo(p.value(demo), format, enc);
        if (items < 0) {
            err << "pstgen: cannot write " << p.value(demo) << "\n";
            return 1;
        }
        QTextStream(stdout) << "items " << items << "\n";
        return 0;
    }
    if (!p.isSet(out)) {
        err << p.helpText();
        return 2;
    }
    GenerateOptions o;
    o.format = format;
    o.encryption = enc;
    auto get = [&](const QCommandLineOption &opt, int &target) {
        if (p.isSet(opt))
            target = p.value(opt).toInt();
    };
    get(mails, o.mails);
    get(folders, o.folders);
    get(body, o.bodySize);
    get(html, o.htmlSize);
    get(every, o.attachEvery);
    get(asize, o.attachSize);
    get(exchange, o.exchangeEvery);
    get(contacts, o.contacts);
    get(appts, o.appointments);
    get(tasks, o.tasks);
    get(journal, o.journal);
    get(notes, o.notes);
    if (p.isSet(seed))
        o.seed = p.value(seed).toUInt();
    const GenerateResult r = generateMailbox(p.value(out), o);
    if (!r.ok) {
        err << "pstgen: cannot write " << p.value(out) << "\n";
        return 1;
    }
    QTextStream(stdout) << "items " << r.items << " attachments " << r.attachments << " folders " << r.folders << "\n";
    return 0;
}
