// Costs of the item list and the mail view: painting one screen of cards,
// listing 50,000 records, and showing a mail with a 1 MB HTML body.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/views/PSTListView.h"
#include "sorrel/views/PstListController.h"
#include "sorrel/views/PstMailView.h"
#include "sorrel/views/WebEngineView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QList<std::shared_ptr<PstItem>> makeMails(int count, const QString& tag)
{
    QList<std::shared_ptr<PstItem>> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto m = std::make_shared<PstMailItem>();
        m->setField(PstKey::Sender, QStringLiteral("Sender %1").arg(i % 977));
        m->setField(PstKey::Subject, QStringLiteral("%1 subject line number %2").arg(tag).arg((i * 7919) % count));
        m->setField(PstKey::SentDate, qint64(1600000000) + (i * 104729) % 50000000);
        if (i % 5 == 0) {
            auto a = std::make_shared<Attachment>();
            a->name = QStringLiteral("a.pdf");
            m->addAttachment(a);
        }
        items.append(m);
    }
    return items;
}

void report(const char* what, double ms)
{
    std::printf("[profile] %s: %.2f ms\n", what, ms);
    std::fflush(stdout);
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int kItems = argc > 1 ? atoi(argv[1]) : 50000;

    // Listing 50,000 records.
    PSTListView view;
    view.resize(420, 900);
    view.show();
    PstListController controller(&view, nullptr);
    const auto folderA = makeMails(kItems, QStringLiteral("A"));
    const auto folderB = makeMails(kItems, QStringLiteral("B"));
    settle();

    QElapsedTimer t;
    t.start();
    controller.setItems(folderA);
    view.grab(); // the first screen painted
    report("list 50000 items, first show (unsorted)", t.nsecsElapsed() / 1e6);

    t.restart();
    controller.setItems(folderB);
    view.grab();
    report("list 50000 items, another folder (unsorted)", t.nsecsElapsed() / 1e6);

    t.restart();
    controller.setItems(folderB);
    report("list 50000 items, same folder again", t.nsecsElapsed() / 1e6);

    controller.sortBy(3, 1);
    t.restart();
    controller.setItems(folderA);
    view.grab();
    report("list 50000 items, another folder sorted by date", t.nsecsElapsed() / 1e6);

    controller.sortBy(1, 0);
    t.restart();
    controller.setItems(folderB);
    view.grab();
    report("list 50000 items, another folder sorted by subject", t.nsecsElapsed() / 1e6);

    t.restart();
    controller.sortBy(3, 0);
    view.grab();
    report("re-sort 50000 items by date", t.nsecsElapsed() / 1e6);

    t.restart();
    controller.sortBy(1, 1);
    view.grab();
    report("re-sort 50000 items by subject", t.nsecsElapsed() / 1e6);

    // One screen of cards (900 px: 15 rows), painted into an image.
    controller.sortBy(0, -1);
    const int rounds = 200;
    QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    view.viewport()->render(&image); // warm the pixmap cache
    t.restart();
    for (int i = 0; i < rounds; ++i)
        view.viewport()->render(&image);
    report("paint one screen of cards (420x900)", t.nsecsElapsed() / 1e6 / rounds);

    // A mail with a 1 MB HTML body, from setItem to the body written.
    PstMailView mailView;
    mailView.resize(800, 900);
    mailView.show();
    {
        QEventLoop ready;
        QTimer::singleShot(30000, &ready, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &ready, [&] {
            if (mailView.bodyView()->isLoaded())
                ready.quit();
        });
        poll.start(20);
        ready.exec();
    }
    // Three mails with 1 MB HTML bodies in a file: the view reads each body
    // from it, as it does for every mail.
    QTemporaryDir dir;
    const QString bigPath = dir.filePath(QStringLiteral("big.pst"));
    QList<pstw::MessageId> bigIds;
    {
        pstw::PstWriter w(bigPath);
        const pstw::FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
        const QByteArray para = "<p>Paragraph with <b>bold</b> and `ticks` and $dollar and \\ back</p>\n";
        for (int n = 0; n < 3; ++n) {
            QByteArray html = QStringLiteral("<html><head><title>big %1</title></head><body>").arg(n).toUtf8();
            while (html.size() < 1024 * 1024)
                html += para;
            html += "</body></html>";
            pstw::MessageSpec m;
            m.subject = QStringLiteral("big %1").arg(n);
            m.html = html;
            bigIds << w.addMessage(inbox, m);
        }
        if (!w.finish())
            return 1;
    }
    PstDocument bigFile;
    if (!bigFile.open(bigPath))
        return 1;
    auto makeBig = [&](int n) { return loadItemById(bigFile.handle(), bigIds.at(n)); };
    for (int n = 0; n < 3; ++n) {
        auto big = makeBig(n);
        QEventLoop written;
        QObject::connect(mailView.bodyView(), &WebEngineView::htmlWritten, &written, &QEventLoop::quit);
        QTimer::singleShot(60000, &written, &QEventLoop::quit);
        t.restart();
        mailView.setItem(big);
        written.exec();
        report(n == 0 ? "show mail with 1 MB HTML body (first)" : "show mail with 1 MB HTML body (again)",
               t.nsecsElapsed() / 1e6);
    }
    return 0;
}
