// Printing an item of each kind to a PDF file through a QPrinter in PDF
// mode, read back with pdftotext: header lines and body, escaped values,
// detail sections, a page beyond setHtml's 2 MB, a page that tries to run
// script or navigate away; cancelling and failing are told apart.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/print/PrintContentProvider.h"
#include "sorrel/print/PstPrinter.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstFolderItem.h"

#include <Corbelin/SupportFoundation.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace pstw;

namespace {

const QDateTime kSent(QDate(2024, 5, 1), QTime(9, 30, 15), Qt::UTC);

// A PNG of noise: it does not compress, so the page grows by its size.
QByteArray noisePng(int side)
{
    QImage img(side, side, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            img.setPixel(x, y, rng.generate());
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return out;
}

QString pdfText(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

QString readLog()
{
    Corbelin::ILogConfig::FlushBuffer();
    QFile f(QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile()));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    PstDocument m_document;
    QMap<QString, std::shared_ptr<PstItem>> m_items;  // by name

    // Prints item to out.pdf through the hook; the outcome and the hook calls.
    PstPrinter::Outcome print(const PstItem& item, const QString& pdf, int* dialogs = nullptr, bool accept = true)
    {
        PstPrinter printer;
        int asked = 0;
        printer.setDialogHook([&](QPrinter& p, QWidget*) {
            ++asked;
            QTest::qWait(500);  // the user at the dialog: the page lives on meanwhile
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf);
            return accept;
        });
        QSignalSpy finished(&printer, &PstPrinter::jobFinished);
        if (!printer.printItem(item))
            return PstPrinter::Outcome::Failed;
        if (!finished.wait(60000))
            return PstPrinter::Outcome(-1);
        // A page that loads again must not reach the dialog a second time.
        QTest::qWait(300);
        if (dialogs)
            *dialogs = asked;
        return finished.first().first().value<PstPrinter::Outcome>();
    }

private slots:
    void initTestCase();
    void printsEachKind_data();
    void printsEachKind();
    void cancelAndFailureAreLogged();
};

void TestPrint::initTestCase()
{
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("log"))));
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(m_dir.filePath(QStringLiteral("log/")).toStdString()));
    const QString path = m_dir.filePath(QStringLiteral("print.pst"));
    QMap<QString, MessageId> ids;
    {
        PstWriter w(path);
        const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
        const FolderId contacts = w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        const FolderId notes = w.addFolder(w.ipmSubtree(), QStringLiteral("Notes"), QStringLiteral("IPF.StickyNote"));

        MessageSpec plain;
        plain.subject = QStringLiteral("<b>x</b> and %2 stay");
        plain.senderName = QStringLiteral("Ann & Co");
        plain.senderEmail = QStringLiteral("ann@example.com");
        plain.sent = plain.received = kSent;
        plain.recipients = {{QStringLiteral("Bob <i>B</i>"), QStringLiteral("bob@example.com")},
                            {QStringLiteral("Cy"), QStringLiteral("cy@example.com"), Recipient::Cc}};
        plain.body = QStringLiteral("First body line\nsecond <line> & more");
        ids[QStringLiteral("plain")] = w.addMessage(inbox, plain);

        MessageSpec three;
        three.subject = QStringLiteral("Three files");
        three.html = QByteArrayLiteral("<html><body><p>See the files.</p></body></html>");
        for (int i = 1; i <= 3; ++i)
            three.attachments.push_back(AttachmentSpec::file(QStringLiteral("f%1.txt").arg(i), "data"));
        ids[QStringLiteral("three")] = w.addMessage(inbox, three);

        // Inline image of about 2.4 MB: the page passes setHtml's limit.
        MessageSpec large;
        large.subject = QStringLiteral("Large page");
        large.html = QByteArrayLiteral("<html><body><p>Before the image.</p><img src=\"cid:big\">"
                                       "<p>After the image.</p></body></html>");
        large.attachments.push_back(AttachmentSpec::file(QStringLiteral("big.png"), noisePng(800), "image/png", "big"));
        ids[QStringLiteral("large")] = w.addMessage(inbox, large);

        MessageSpec hostile;
        hostile.subject = QStringLiteral("Hostile body");
        hostile.html = QByteArrayLiteral(
            "<html><head><meta http-equiv=\"refresh\" content=\"0;url=about:blank\"></head>"
            "<body><p>Kept body.</p><script>document.write('Script ran.')</script></body></html>");
        ids[QStringLiteral("hostile")] = w.addMessage(inbox, hostile);

        ContactSpec c;
        c.givenName = QStringLiteral("Jane");
        c.surname = QStringLiteral("Doe");
        c.businessPhone = QStringLiteral("555-0100");
        c.email1 = QStringLiteral("jane@example.com");
        c.note = QStringLiteral("Met at <the> fair");
        ids[QStringLiteral("contact")] = w.addContact(contacts, c);

        NoteSpec n;
        n.subject = QStringLiteral("Sticky title");
        n.body = QStringLiteral("Sticky body");
        ids[QStringLiteral("note")] = w.addNote(notes, n);
        QVERIFY(w.finish());
    }
    QVERIFY(m_document.open(path));
    for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
        auto item = loadItemById(m_document.handle(), it.value());
        QVERIFY2(item, qPrintable(it.key()));
        m_items.insert(it.key(), item);
    }
}

void TestPrint::printsEachKind_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("mail, values printed literally")
        << "plain"
        << QStringList{"Subject: <b>x</b> and %2 stay", "From: Ann & Co <ann@example.com>",
                       "Sent: 2024-05-01 09:30:15", "To: Bob <i>B</i>", "Cc: Cy", "Attachments: None",
                       "First body line second <line> & more"}
        << QStringList{"Bcc"};
    QTest::newRow("mail with three attachments") << "three"
                                                 << QStringList{"Attachments: Yes (3 file(s))", "See the files."}
                                                 << QStringList{};
    QTest::newRow("page over 2 MB") << "large" << QStringList{"Before the image.", "After the image."}
                                    << QStringList{};
    QTest::newRow("no script, no navigation") << "hostile" << QStringList{"Kept body."}
                                              << QStringList{"Replaced page", "Script ran."};
    QTest::newRow("contact sections")
        << "contact"
        << QStringList{"Jane Doe", "Contact Name", "First Name Jane", "Last Name Doe", "Phone Numbers",
                       "Business 555-0100", "Email Addresses", "Email 1 jane@example.com", "Notes",
                       "Met at <the> fair"}
        << QStringList{"Professional Information", "Fax", "Home Address"};
    // The note's text is printed as its page shows it.
    QTest::newRow("sticky note: title and text") << "note" << QStringList{"Sticky title", "Sticky body"}
                                                 << QStringList{};
}

void TestPrint::printsEachKind()
{
    QFETCH(QString, item);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const auto record = m_items.value(item);
    QVERIFY(record);
    if (item == QLatin1String("large")) {
        const QString page = makePrintProvider(*record)->content();
        QVERIFY2(page.size() > 2 * 1024 * 1024, "the page does not pass 2 MB");
        QVERIFY(page.contains(QLatin1String("src=\"data:image/png;base64,")));
    }
    const QString pdf = m_dir.filePath(item + QStringLiteral(".pdf"));
    int dialogs = 0;
    QCOMPARE(print(*record, pdf, &dialogs), PstPrinter::Outcome::Printed);
    QCOMPARE(dialogs, 1);
    const QString text = pdfText(pdf);
    for (const QString& s : present)
        QVERIFY2(text.contains(s), qPrintable(QStringLiteral("missing \"%1\" in: %2").arg(s, text.left(600))));
    for (const QString& s : absent)
        QVERIFY2(!text.contains(s), qPrintable(QStringLiteral("unexpected \"%1\" in: %2").arg(s, text.left(600))));
}

void TestPrint::cancelAndFailureAreLogged()
{
    const PstItem& mail = *m_items.value(QStringLiteral("plain"));
    const QString cancelledPdf = m_dir.filePath(QStringLiteral("cancelled.pdf"));
    qsizetype logged = readLog().size();
    QCOMPARE(print(mail, cancelledPdf, nullptr, false), PstPrinter::Outcome::Cancelled);
    QVERIFY(!QFile::exists(cancelledPdf));
    QString log = readLog().mid(logged);
    QVERIFY2(log.contains(QLatin1String("Print job has been cancelled.")), qPrintable(log));
    QVERIFY(!log.contains(QLatin1String("Print completed.")));

    // A PDF file that cannot be written: a failure, never "Print completed.".
    logged = readLog().size();
    QCOMPARE(print(mail, m_dir.filePath(QStringLiteral("missing/dir/out.pdf"))), PstPrinter::Outcome::Failed);
    log = readLog().mid(logged);
    QVERIFY2(log.contains(QLatin1String("Print failed.")), qPrintable(log));
    QVERIFY(!log.contains(QLatin1String("Print completed.")));

    // Folders do not print.
    PstPrinter printer;
    QVERIFY(!printer.printItem(PstFolderItem()));
    QCOMPARE(printer.jobsRunning(), 0);
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
