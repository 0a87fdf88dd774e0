// Files written in both formats (and with compressible encryption) open
// through PstDocument with the same folders and records from the file and
// from the index cache, and every record is found again by its id. What
// Outlook keeps for itself (associated contents, hidden and system folders)
// is no folder or item.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstIndexCache.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace pstw;

Q_DECLARE_METATYPE(PstFormat)
Q_DECLARE_METATYPE(PstEncryption)

namespace {

// "path|kind|subject" for every record, "path/" for every folder.
QStringList contentsOf(const PstFolderItemPtr& folder, const QString& path, QList<std::shared_ptr<PstItem>>& all)
{
    folder->loadChildren();
    QStringList lines{path + QLatin1Char('/')};
    for (const auto& item : folder->items()) {
        lines << QStringLiteral("%1|%2|%3").arg(path).arg(int(item->kind())).arg(item->subject());
        all << item;
    }
    for (const PstFolderItemPtr& sub : folder->subfolders())
        lines += contentsOf(sub, path + QLatin1Char('/') + sub->name(), all);
    return lines;
}

} // namespace

class TestPstDocumentWritten : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void opensFromFileAndCache_data()
    {
        QTest::addColumn<PstFormat>("format");
        QTest::addColumn<PstEncryption>("encryption");
        QTest::newRow("unicode") << PstFormat::Unicode << PstEncryption::None;
        QTest::newRow("ansi") << PstFormat::Ansi << PstEncryption::None;
        QTest::newRow("unicode compressible") << PstFormat::Unicode << PstEncryption::Compressible;
        QTest::newRow("ansi compressible") << PstFormat::Ansi << PstEncryption::Compressible;
    }

    void opensFromFileAndCache()
    {
        QFETCH(PstFormat, format);
        QFETCH(PstEncryption, encryption);
        const QString path = m_dir.filePath(QStringLiteral("%1.pst").arg(QTest::currentDataTag()));
        QStringList written;
        {
            PstWriter w(path, format, encryption);
            const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
            const FolderId deep = w.addFolder(w.addFolder(inbox, QStringLiteral("Projects")), QStringLiteral("Deep"));
            w.addFolder(w.ipmSubtree(), QStringLiteral("Empty"));
            const FolderId contacts = w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
            const FolderId tasks = w.addFolder(w.ipmSubtree(), QStringLiteral("Tasks"), QStringLiteral("IPF.Task"));
            for (int i = 0; i < 3; ++i) {
                MessageSpec m;
                m.subject = QStringLiteral("Mail %1").arg(i);
                m.senderName = QStringLiteral("Ann");
                m.sent = QDateTime(QDate(2024, 5, 1), QTime(9, i), Qt::UTC);
                w.addMessage(i == 2 ? deep : inbox, m);
            }
            ContactSpec c;
            c.givenName = QStringLiteral("Bo");
            c.surname = QStringLiteral("Lind");
            c.email1 = QStringLiteral("bo@example.com");
            w.addContact(contacts, c);
            TaskSpec t;
            t.subject = QStringLiteral("Report");
            t.due = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
            w.addTask(tasks, t);
            QVERIFY(w.finish());
        }
        const QString top = QStringLiteral("/Top of Personal Folders");
        const QStringList expected{top + "/",
                                   top + "/Deleted Items/",
                                   top + "/Inbox/",
                                   top + "/Inbox|0|Mail 0",
                                   top + "/Inbox|0|Mail 1",
                                   top + "/Inbox/Projects/",
                                   top + "/Inbox/Projects/Deep/",
                                   top + "/Inbox/Projects/Deep|0|Mail 2",
                                   top + "/Empty/",
                                   top + "/Contacts/",
                                   top + "/Contacts|2|bo@example.com",
                                   top + "/Tasks/",
                                   top + "/Tasks|4|Report"};

        QFile::remove(PstIndexCache::cachePathFor(path));
        for (const bool cached : {false, true}) {
            QCOMPARE(QFile::exists(PstIndexCache::cachePathFor(path)), cached);
            PstDocument document;
            QVERIFY(document.open(path));
            const PstFolderItemPtr fileNode = document.parse(path);
            QVERIFY(fileNode);
            const PstFolderItemPtr topFolder = fileNode->subfolders().value(0);
            QVERIFY(topFolder);
            QList<std::shared_ptr<PstItem>> all;
            const QStringList got = contentsOf(topFolder, QLatin1Char('/') + topFolder->name(), all);
            QVERIFY2(got == expected, qPrintable(got.join(QLatin1Char('\n'))));
            for (const auto& item : all) {
                QCOMPARE(item->id(), item->descriptor()->d_id);
                const auto again = loadItemById(document.handle(), item->id());
                QVERIFY(again);
                QCOMPARE(again->kind(), item->kind());
                QCOMPARE(again->subject(), item->subject());
                QCOMPARE(again->document(), document.handle());
            }
        }
    }

    void hiddenObjectsAreNotShown()
    {
        const QString path = m_dir.filePath(QStringLiteral("hidden.pst"));
        QHash<QString, uint64_t> ids;
        {
            PstWriter w(path);
            const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
            ids["Sub"] = w.addFolder(inbox, QStringLiteral("Sub"));
            const FolderId contacts = w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
            Props hiddenFlag;
            hiddenFlag.setBool(tag::AttrHidden, true);
            const FolderId hidden = w.addFolder(w.ipmSubtree(), QStringLiteral("Quick Step Settings"),
                                                QStringLiteral("IPF.Configuration"), hiddenFlag);
            ids["hidden"] = hidden;
            ids["below hidden"] = w.addFolder(hidden, QStringLiteral("Below hidden"));
            Props notHidden;
            notHidden.setBool(tag::AttrHidden, false);
            ids["Archive"] = w.addFolder(w.ipmSubtree(), QStringLiteral("Archive"), QStringLiteral("IPF.Note"), notHidden);
            // A user's folder may share a system folder's name below the top.
            w.addFolder(w.ipmSubtree(), QStringLiteral("Drizzle"));
            ids["system"] = w.addFolder(w.rootFolder(), QStringLiteral("~MAPISP(Internal)"));
            w.addFolder(w.rootFolder(), QStringLiteral("SPAM Search Folder 2"));
            // Not Outlook's: kept, wherever a tool put it.
            ids["Imported"] = w.addFolder(w.rootFolder(), QStringLiteral("Imported"));
            for (int i = 0; i < 2; ++i) {
                MessageSpec m;
                m.subject = QStringLiteral("Mail %1").arg(i);
                ids["mail"] = w.addMail(inbox, m);
                w.addMail(hidden, m);
            }
            w.addMail(ids["Sub"], MessageSpec());
            for (const char* cls : {"IPM.Configuration.Autocomplete", "IPM.Microsoft.FolderDesign.NamedView",
                                    "IPM.Note", "IPM.Contact"}) {
                MessageSpec m;
                m.messageClass = QString::fromLatin1(cls);
                w.addAssociatedMessage(inbox, m);
                w.addAssociatedMessage(contacts, m);
            }
            QVERIFY(w.finish());
        }
        PstDocument document;
        QVERIFY(document.open(path));
        const PstFolderItemPtr fileNode = document.parse(path);
        QVERIFY(fileNode);
        QStringList firstLevel;
        for (const PstFolderItemPtr& f : fileNode->subfolders())
            firstLevel << f->name();
        // The search root and the system folders beside the top are gone.
        QCOMPARE(firstLevel, QStringList({"Top of Personal Folders", "Imported"}));
        QList<std::shared_ptr<PstItem>> all;
        const QStringList got = contentsOf(fileNode->subfolders().first(), QString(), all);
        const QStringList expected{"/",          "/Deleted Items/", "/Inbox/",   "/Inbox|0|Mail 0", "/Inbox|0|Mail 1",
                                   "/Inbox/Sub/", "/Inbox/Sub|0|",   "/Contacts/", "/Archive/",       "/Drizzle/"};
        QVERIFY2(got == expected, qPrintable(got.join(QLatin1Char('\n'))));

        // A folder found by its id comes with the folders on its way down,
        // unless it or one above it is not shown; items are no folders.
        const QList<QPair<QString, QStringList>> byId = {
            {"Sub", {"Top of Personal Folders", "Inbox", "Sub"}},
            {"Archive", {"Top of Personal Folders", "Archive"}},
            {"Imported", {"Imported"}},
            {"hidden", {}},
            {"below hidden", {}},
            {"system", {}},
            {"mail", {}},
        };
        for (const auto& [key, names] : byId) {
            const QList<PstFolderItemPtr> found = pstFolderPathById(fileNode, ids.value(key));
            QStringList gotNames;
            for (const PstFolderItemPtr& f : found)
                gotNames << f->name();
            QVERIFY2(gotNames == names, qPrintable(key + ": " + gotNames.join(QLatin1Char('/'))));
        }
        const QList<PstFolderItemPtr> sub = pstFolderPathById(fileNode, ids.value("Sub"));
        QCOMPARE(sub.last()->idPath(), (QList<uint64_t>{fileNode->subfolders().first()->id(),
                                                        sub.at(1)->id(), ids.value("Sub")}));
        QCOMPARE(sub.last()->childCount(), 0);
        QCOMPARE(sub.last()->items().size(), 1);
        QCOMPARE(sub.last()->items().first()->document(), document.handle());
        QVERIFY(pstFolderPathById(fileNode, 0x7FFFFFE0).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPstDocumentWritten)
#include "tst_pstdocument_written.moc"
