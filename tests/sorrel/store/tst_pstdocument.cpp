// Opening real files through PstDocument: enron.pst end to end through the
// child loader, with and without the index cache, damaged and stale caches
// falling back to the file, and the failures of open and parse; an Outlook
// 2013 OST shows what Outlook shows.

#include "sorrel/items/PstItemFactory.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstIndexCache.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>

namespace {

// One line per folder (depth, id, name, item count) and per item (kind,
// descriptor id, title), every folder loaded through its child loader.
QStringList describe(const PstFolderItemPtr& folder, int& items)
{
    folder->loadChildren();
    QStringList lines{QStringLiteral("%1 %2 %3 (%4)")
                          .arg(folder->depth())
                          .arg(folder->id())
                          .arg(folder->name())
                          .arg(folder->items().size())};
    for (const auto& item : folder->items()) {
        lines << QStringLiteral("  %1 %2 %3").arg(int(item->kind())).arg(item->descriptor()->d_id).arg(item->title());
        ++items;
    }
    for (const PstFolderItemPtr& sub : folder->subfolders()) {
        if (sub->depth() != folder->depth() + 1 || sub->parent() != folder)
            lines << QStringLiteral("bad link below %1").arg(folder->id());
        lines += describe(sub, items);
    }
    return lines;
}

// The descriptor tree in pre-order with its index entries, to compare the
// tree from the cache with the one libpst builds.
QStringList treeOf(const pst_file* pf)
{
    QStringList lines;
    std::function<void(pst_desc_tree*, int)> walk = [&](pst_desc_tree* n, int depth) {
        for (; n; n = n->next) {
            lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                         .arg(depth)
                         .arg(n->d_id)
                         .arg(n->parent_d_id)
                         .arg(n->no_child)
                         .arg(n->desc ? qint64(n->desc->i_id) : -1)
                         .arg(n->assoc_tree ? qint64(n->assoc_tree->i_id) : -1);
            walk(n->child, depth + 1);
        }
    };
    walk(pf->d_head, 0);
    return lines;
}

} // namespace

class TestPstDocument : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pst;
    QStringList m_expected;
    int m_expectedItems = 0;

    QStringList openAndDescribe(const QString& path, int& items)
    {
        PstDocument document;
        if (!document.open(path))
            return {QStringLiteral("open failed")};
        const PstFolderItemPtr fileNode = document.parse(path);
        if (!fileNode)
            return {QStringLiteral("parse failed")};
        items = 0;
        return describe(fileNode, items);
    }

    QByteArray cacheBytes() const
    {
        QFile f(PstIndexCache::cachePathFor(m_pst));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeCacheBytes(const QByteArray& bytes) const
    {
        QFile f(PstIndexCache::cachePathFor(m_pst));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void initTestCase()
    {
        const QString enron = qEnvironmentVariable("MARROWIN_ENRON_PST");
        QVERIFY2(QFile::exists(enron), "enron.pst is missing (fixture enron)");
        m_pst = m_dir.filePath(QStringLiteral("enron.pst"));
        QVERIFY(QFile::copy(enron, m_pst));
    }

    void opensEnronEndToEnd()
    {
        QFile::remove(PstIndexCache::cachePathFor(m_pst));
        PstDocument document;
        QVERIFY(document.open(m_pst));
        QCOMPARE(document.path(), m_pst);
        QVERIFY(QFile::exists(PstIndexCache::cachePathFor(m_pst)));
        const PstFolderItemPtr fileNode = document.parse(m_pst);
        QVERIFY(fileNode);
        QCOMPARE(fileNode->depth(), 0);
        QCOMPARE(fileNode->name(), QStringLiteral("enron.pst"));
        QCOMPARE(fileNode->filePath(), m_pst);
        QCOMPARE(fileNode->handle(), document.handle());
        QVERIFY(fileNode->isLoaded()); // the skeleton's first level
        // The store's search root beside it is Outlook's own.
        QCOMPARE(fileNode->subfolders().size(), 1);
        QCOMPARE(fileNode->subfolders().first()->name(), QStringLiteral("Top of Personal Folders"));
        QCOMPARE(fileNode->id(), fileNode->descriptor()->parent_d_id);

        m_expected = describe(fileNode, m_expectedItems);
        QVERIFY2(m_expectedItems > 50, qPrintable(QString::number(m_expectedItems)));
        QVERIFY(m_expected.filter(QStringLiteral("bad link")).isEmpty());

        // Every item is found again by its id, as search hits are.
        int found = 0;
        std::function<void(const PstFolderItemPtr&)> check = [&](const PstFolderItemPtr& folder) {
            for (const auto& item : folder->items()) {
                const auto again = loadItemById(document.handle(), item->descriptor()->d_id);
                found += again && again->kind() == item->kind() && again->title() == item->title();
            }
            for (const auto& sub : folder->subfolders())
                check(sub);
        };
        check(fileNode);
        QCOMPARE(found, m_expectedItems);

        // The file stays open while the file node holds the handle.
        const std::weak_ptr<pst_file> weak = document.handle();
        { PstDocument gone = std::move(document); }
        QVERIFY(!weak.expired());
    }

    void ostShowsWhatOutlookShows()
    {
        const QString ost = m_dir.filePath(QStringLiteral("outlook.ost"));
        QVERIFY(QFile::copy(qEnvironmentVariable("MARROWIN_OST_1"), ost));
        PstDocument document;
        QVERIFY(document.open(ost));
        const PstFolderItemPtr fileNode = document.parse(ost);
        QVERIFY(fileNode);
        // Beside IPM_SUBTREE only Exchange's and Outlook's system folders.
        QCOMPARE(fileNode->subfolders().size(), 1);
        const PstFolderItemPtr top = fileNode->subfolders().first();
        QCOMPARE(top->name(), QStringLiteral("IPM_SUBTREE"));
        top->loadChildren();
        QHash<QString, PstFolderItemPtr> byName;
        for (const PstFolderItemPtr& sub : top->subfolders()) {
            sub->loadChildren();
            byName.insert(sub->name(), sub);
        }
        // Associated contents (views, rules, configuration) are no items.
        QCOMPARE(byName.value(QStringLiteral("Inbox"))->itemCount(), 10);
        const PstFolderItemPtr contacts = byName.value(QStringLiteral("Contacts"));
        QCOMPARE(contacts->itemCount(), 0);
        QCOMPARE(contacts->countSuffix(), QString());
        QVERIFY(contacts->subfolders().isEmpty());  // all hidden (PR_ATTR_HIDDEN)
        for (const char* hidden : {"Yammer Root", "Files", "Conversation Action Settings", "ExternalContacts",
                                   "Quick Step Settings"})
            QVERIFY2(!byName.contains(QLatin1String(hidden)), hidden);
        for (const char* shown : {"Deleted Items", "Sent Items", "Calendar", "Tasks", "Notes", "Sync Issues"})
            QVERIFY2(byName.contains(QLatin1String(shown)), shown);
    }

    void cacheRebuildsTheSameTree()
    {
        QVERIFY(QFile::exists(PstIndexCache::cachePathFor(m_pst)));
        PstFileHandle fromFile = makePstFileHandle();
        PstFileHandle fromCache = makePstFileHandle();
        const QByteArray name = QFile::encodeName(m_pst);
        QCOMPARE(pst_open(fromFile.get(), name.constData(), nullptr), 0);
        QCOMPARE(pst_load_index(fromFile.get()), 0);
        QCOMPARE(pst_open(fromCache.get(), name.constData(), nullptr), 0);
        QCOMPARE(PstIndexCache::loadIndexCache(fromCache.get(), PstIndexCache::cachePathFor(m_pst)), 0);
        QCOMPARE(fromCache->i_count, fromFile->i_count);
        QVERIFY(std::memcmp(fromCache->i_table, fromFile->i_table, fromFile->i_count * sizeof(pst_index_ll)) == 0);
        QCOMPARE(treeOf(fromCache.get()), treeOf(fromFile.get()));

        int items = 0;
        QCOMPARE(openAndDescribe(m_pst, items), m_expected);
    }

    void damagedCacheFallsBackToTheFile_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("cut inside the table") << 0;
        QTest::newRow("cut inside the records") << 1;
        QTest::newRow("forward parent index") << 2;
        QTest::newRow("consistent but empty") << 3;
        QTest::newRow("garbage") << 4;
    }

    void damagedCacheFallsBackToTheFile()
    {
        QFETCH(int, damage);
        int items = 0;
        openAndDescribe(m_pst, items); // a sound cache to start from
        const QByteArray sound = cacheBytes();
        QVERIFY(sound.size() > 300);
        const quint64 n = qFromLittleEndian<quint64>(sound.constData() + 60);
        const int records = 68 + int(n) * 40 + 8;
        QByteArray bad = sound;
        switch (damage) {
        case 0: bad.truncate(68 + 40 * int(n) / 2); break;
        case 1: bad.chop(20); break;
        case 2: qToLittleEndian<qint64>(5, bad.data() + records + 48 * 2 + 40); break;
        case 3: bad = sound.left(60) + QByteArray(16, '\0'); break;
        case 4: bad = QByteArray(4096, '\x5a'); break;
        }
        writeCacheBytes(bad);
        QCOMPARE(openAndDescribe(m_pst, items), m_expected);
        QCOMPARE(items, m_expectedItems);
        QCOMPARE(cacheBytes(), sound); // rewritten from the file
    }

    void staleCacheIsReplaced()
    {
        int items = 0;
        openAndDescribe(m_pst, items);
        const QString cache = PstIndexCache::cachePathFor(m_pst);
        const QByteArray before = cacheBytes();
        const QDir config(QFileInfo(cache).path());
        const QStringList cachesBefore = config.entryList({QStringLiteral("*.pstidx")});
        QFile pst(m_pst);
        QVERIFY(pst.open(QIODevice::ReadWrite));
        const QDateTime mtime = QFileInfo(m_pst).lastModified();
        QVERIFY(pst.setFileTime(mtime.addSecs(1), QFileDevice::FileModificationTime));
        pst.close();
        QCOMPARE(openAndDescribe(m_pst, items), m_expected);
        const QByteArray after = cacheBytes();
        QCOMPARE(qFromLittleEndian<qint64>(after.constData() + 20), mtime.addSecs(1).toSecsSinceEpoch());
        QCOMPARE(after.mid(28), before.mid(28));
        QCOMPARE(config.entryList({QStringLiteral("*.pstidx")}), cachesBefore); // overwritten, not duplicated
    }

    void failuresName_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("text file") << QByteArray("This is not a mailbox.\n").repeated(100) << true;
        QTest::newRow("bare PST signature") << QByteArray("!BDN").append(QByteArray(600, '\0')) << true;
    }

    void failuresName()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        const QString path = m_dir.filePath(QStringLiteral("bad-%1.pst").arg(QTest::currentDataTag()));
        if (exists) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        PstDocument document;
        QVERIFY(!document.open(path));
        QVERIFY(document.failure() != PstDocument::Failure::None);
        QVERIFY(!PstDocument::failureText(document.failure()).isEmpty());
        QVERIFY(!document.handle());
        QVERIFY(document.path().isEmpty());
        QVERIFY(!document.parse(path));
    }
};

QTEST_GUILESS_MAIN(TestPstDocument)
#include "tst_pstdocument.moc"
