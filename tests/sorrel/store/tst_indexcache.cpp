// The index cache file: its exact bytes, the tree rebuilt from it, every
// rejection of a damaged or stale file, its path, touching and pruning.

#include "common/ProductProfile.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstIndexCache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace PstIndexCache;

namespace {

// Two index entries and three descriptors (0x21 with child 0x61, then 0x122).
const QByteArray kExample = QByteArray::fromHex(
    // header: magic, version, size 1234, mtime 1700000000, index1/2, index1/2_back, N = 2
    "5053544944583031"
    "01000000"
    "d204000000000000"
    "00f1536500000000"
    "1111000000000000"
    "2222000000000000"
    "3333000000000000"
    "4444000000000000"
    "0200000000000000"
    // entries: i_id, offset, size, inflated_size, u1
    "0400000000000000" "0004000000000000" "6400000000000000" "6400000000000000" "0100000000000000"
    "0800000000000000" "0003000000000000" "c800000000000000" "2000000000000000" "ffffffffffffffff"
    // M = 3, then d_id, parent_d_id, no_child, descIndex, assocIndex, parentIndex
    "0300000000000000"
    "2100000000000000" "0000000000000000" "0100000000000000" "0000000000000000" "ffffffffffffffff" "ffffffffffffffff"
    "6100000000000000" "2100000000000000" "0000000000000000" "0100000000000000" "0000000000000000" "0000000000000000"
    "2201000000000000" "0000000000000000" "0000000000000000" "ffffffffffffffff" "ffffffffffffffff" "ffffffffffffffff");

constexpr qint64 kMtime = 1700000000;

void freeTree(pst_desc_tree* node)
{
    while (node) {
        pst_desc_tree* next = node->next;
        freeTree(node->child);
        std::free(node);
        node = next;
    }
}

// A pst_file as pst_open leaves it, over a stand-in file of 1234 bytes.
struct FakePst {
    pst_file pf{};
    explicit FakePst(const QString& path)
    {
        pf.fname = strdup(QFile::encodeName(path).constData());
        pf.fp = std::fopen(pf.fname, "rb");
        pf.index1 = 0x1111;
        pf.index2 = 0x2222;
        pf.index1_back = 0x3333;
        pf.index2_back = 0x4444;
    }
    ~FakePst()
    {
        pstForgetDescriptors(&pf);
        freeTree(pf.d_head);
        std::free(pf.i_table);
        if (pf.fp)
            std::fclose(pf.fp);
        std::free(pf.fname);
    }
    // The example index and tree, built the way libpst builds them.
    void fillExample()
    {
        pf.i_table = static_cast<pst_index_ll*>(std::calloc(2, sizeof(pst_index_ll)));
        pf.i_table[0] = {4, 0x400, 100, 100, 1};
        pf.i_table[1] = {8, 0x300, 200, 0x20, -1};
        pf.i_count = pf.i_capacity = 2;
        auto node = [](uint64_t id, uint64_t parent, int32_t children, pst_index_ll* desc, pst_index_ll* assoc) {
            auto* n = static_cast<pst_desc_tree*>(std::calloc(1, sizeof(pst_desc_tree)));
            *n = {id, parent, desc, assoc, children, nullptr, nullptr, nullptr, nullptr, nullptr};
            return n;
        };
        pst_desc_tree* a = node(0x21, 0, 1, &pf.i_table[0], nullptr);
        pst_desc_tree* b = node(0x61, 0x21, 0, &pf.i_table[1], &pf.i_table[0]);
        pst_desc_tree* c = node(0x122, 0, 0, nullptr, nullptr);
        a->child = a->child_tail = b;
        b->parent = a;
        a->next = c;
        c->prev = a;
        pf.d_head = a;
        pf.d_tail = c;
    }
};

} // namespace

class TestIndexCache : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pst;

    QString cacheFile() const { return m_dir.filePath(QStringLiteral("example.pstidx")); }
    void writeCache(const QByteArray& bytes)
    {
        QFile f(cacheFile());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    static QByteArray patched(QByteArray bytes, int offset, qint64 value)
    {
        qToLittleEndian<qint64>(value, bytes.data() + offset);
        return bytes;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pst = m_dir.filePath(QStringLiteral("stand-in.pst"));
        QFile f(m_pst);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1234, 'x'));
        f.flush();
        QVERIFY(f.setFileTime(QDateTime::fromSecsSinceEpoch(kMtime), QFileDevice::FileModificationTime));
    }

    void savesTheExactBytes()
    {
        FakePst fake(m_pst);
        fake.fillExample();
        QCOMPARE(saveIndexCache(&fake.pf, cacheFile()), 0);
        QFile f(cacheFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes.size(), 300);
        QCOMPARE(bytes.toHex(), kExample.toHex());
        // Written aside and renamed: nothing else is left in the directory.
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("example*")}, QDir::Files | QDir::Hidden).size(), 1);
    }

    void loadsTheTreeBack()
    {
        writeCache(kExample);
        FakePst fake(m_pst);
        QCOMPARE(loadIndexCache(&fake.pf, cacheFile()), 0);
        pst_file& pf = fake.pf;
        QCOMPARE(pf.i_count, size_t(2));
        QCOMPARE(pf.i_capacity, size_t(2));
        QCOMPARE(pf.i_table[1].i_id, uint64_t(8));
        QCOMPARE(pf.i_table[1].u1, int64_t(-1));
        pst_desc_tree* a = pf.d_head;
        QVERIFY(a && a->next && !a->prev && !a->parent);
        pst_desc_tree* b = a->child;
        pst_desc_tree* c = a->next;
        QCOMPARE(pf.d_tail, c);
        QCOMPARE(c->prev, a);
        QCOMPARE(a->child_tail, b);
        QCOMPARE(b->parent, a);
        QVERIFY(!b->next && !b->prev && !b->child && !c->next && !c->child);
        QCOMPARE(a->d_id, uint64_t(0x21));
        QCOMPARE(a->no_child, 1);
        QCOMPARE(a->desc, &pf.i_table[0]);
        QVERIFY(!a->assoc_tree);
        QCOMPARE(b->parent_d_id, uint64_t(0x21));
        QCOMPARE(b->desc, &pf.i_table[1]);
        QCOMPARE(b->assoc_tree, &pf.i_table[0]);
        QVERIFY(!c->desc && !c->assoc_tree);
        // The nodes are registered for lookup by id.
        QCOMPARE(pstFindDescriptor(&pf, 0x61), b);
        QCOMPARE(pstFindDescriptor(&pf, 0x122), c);
        QVERIFY(!pstFindDescriptor(&pf, 0x999));
        // Saving the rebuilt tree gives the same file again.
        QCOMPARE(saveIndexCache(&pf, cacheFile()), 0);
        QFile f(cacheFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), kExample);
    }

    void loadsAnEmptyIndex()
    {
        QByteArray empty = patched(kExample.left(68), 60, 0);
        empty.append(QByteArray(8, '\0'));
        writeCache(empty);
        FakePst fake(m_pst);
        QCOMPARE(loadIndexCache(&fake.pf, cacheFile()), 0);
        QVERIFY(!fake.pf.i_table && !fake.pf.d_head && fake.pf.i_count == 0);
    }

    void rejectsDamagedOrStale_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        for (int cut = 0; cut < kExample.size(); ++cut)
            QTest::addRow("cut at %d", cut) << kExample.left(cut);
        QByteArray magic = kExample;
        magic[7] = '2';
        QTest::newRow("magic") << magic;
        QTest::newRow("version") << patched(kExample, 8, 2).left(12) + kExample.mid(12);
        QTest::newRow("file size") << patched(kExample, 12, 1235);
        QTest::newRow("mtime one second later") << patched(kExample, 20, kMtime + 1);
        QTest::newRow("index1") << patched(kExample, 28, 0x1112);
        QTest::newRow("index2") << patched(kExample, 36, 0x2223);
        QTest::newRow("index1_back") << patched(kExample, 44, 0x3334);
        QTest::newRow("index2_back") << patched(kExample, 52, 0x4445);
        QTest::newRow("N above the limit") << patched(kExample, 60, 0x100000001LL);
        QTest::newRow("N beyond the file") << patched(kExample, 60, 3);
        QTest::newRow("table out of order") << patched(kExample, 68, 9);
        // Entries that parse but do not fit the 1234-byte PST file: libpst
        // would read, copy or allocate by them.
        QTest::newRow("block past the end of the file") << patched(kExample, 116, 1100);
        QTest::newRow("block offset beyond the file") << patched(kExample, 76, 5000);
        QTest::newRow("block offset wrapping around") << patched(kExample, 76, -16);
        QTest::newRow("inflated size beyond 16 bits") << patched(kExample, 132, 0x100000000LL);
        QTest::newRow("M above the limit") << patched(kExample, 148, 0x100000001LL);
        QTest::newRow("M beyond the file") << patched(kExample, 148, 4);
        QTest::newRow("no_child beyond 32 bits") << patched(kExample, 156 + 16, 0x80000000LL);
        QTest::newRow("descIndex = N") << patched(kExample, 156 + 24, 2);
        QTest::newRow("assocIndex = N") << patched(kExample, 156 + 48 + 32, 2);
        QTest::newRow("parent points at itself") << patched(kExample, 156 + 48 + 40, 1);
        QTest::newRow("parent points forward") << patched(kExample, 156 + 40, 2);
    }

    void rejectsDamagedOrStale()
    {
        QFETCH(QByteArray, bytes);
        writeCache(bytes);
        FakePst fake(m_pst);
        const pst_file before = fake.pf;
        QCOMPARE(loadIndexCache(&fake.pf, cacheFile()), -1);
        QVERIFY(std::memcmp(&before, &fake.pf, sizeof(pst_file)) == 0);
    }

    void rejectsAHandleThatCannotTakeIt()
    {
        writeCache(kExample);
        FakePst loaded(m_pst);
        loaded.fillExample();
        pst_desc_tree* head = loaded.pf.d_head;
        QCOMPARE(loadIndexCache(&loaded.pf, cacheFile()), -1); // already has an index
        QCOMPARE(loaded.pf.d_head, head);
        FakePst missing(m_dir.filePath(QStringLiteral("gone.pst")));
        QCOMPARE(loadIndexCache(&missing.pf, cacheFile()), -1);
        QCOMPARE(saveIndexCache(&missing.pf, m_dir.filePath(QStringLiteral("gone.pstidx"))), -1);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("gone.pstidx"))));
    }

    void descriptorLookupFollowsTheTree()
    {
        FakePst fake(m_pst);
        fake.fillExample();
        pst_file& pf = fake.pf;
        QCOMPARE(pstFindDescriptor(&pf, 0x61), pf.d_head->child); // map built on first use
        // A node libpst adds later (its stand-in top of folders) is found by walking.
        auto* late = static_cast<pst_desc_tree*>(std::calloc(1, sizeof(pst_desc_tree)));
        late->d_id = 0x2142;
        late->parent = pf.d_head->child;
        pf.d_head->child->child = pf.d_head->child->child_tail = late;
        QCOMPARE(pstFindDescriptor(&pf, 0x2142), late);
        // A duplicated id answers the first node in depth-first order, as a walk does.
        pf.d_tail->d_id = 0x61;
        pstIndexDescriptors(&pf);
        QCOMPARE(pstFindDescriptor(&pf, 0x61), pf.d_head->child);
        pst_item root{};
        QVERIFY(!pstTopOfFolders(nullptr, &root));
    }

    void namesTheCacheByPath()
    {
        QVERIFY(cachePathFor(QString()).isEmpty());
        const QString cache = ProductProfile::cacheDirectory() + QLatin1Char('/');
        const QString canonical = QFileInfo(m_pst).canonicalFilePath();
        QCOMPARE(cachePathFor(m_pst),
                 cache + QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex() + ".pstidx");
        const QString gone = m_dir.filePath(QStringLiteral("gone/../missing.pst"));
        QCOMPARE(cacheFilePathFor(gone, QStringLiteral(".pstsrch")),
                 cache + QCryptographicHash::hash(QFileInfo(gone).absoluteFilePath().toUtf8(),
                                                   QCryptographicHash::Sha1).toHex() + ".pstsrch");
    }

    void touchesAndPrunes()
    {
        QDir cache(ProductProfile::cacheDirectory());
        QVERIFY(cache.mkpath(QStringLiteral(".")));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        struct Entry { const char* name; int ageDays; bool kept; };
        const Entry entries[] = {{"yesterday.pstidx", 1, true}, {"old.pstidx", 16, false},
                                 {"old.pstsrch", 16, false}, {"old.other", 16, true}, {"touched.pstidx", 30, true}};
        for (const Entry& e : entries) {
            QFile f(cache.filePath(QString::fromLatin1(e.name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.setFileTime(now.addDays(-e.ageDays), QFileDevice::FileModificationTime));
        }
        QVERIFY(cache.mkpath(QStringLiteral("folder.pstidx")));
        touchCacheFile(cache.filePath(QStringLiteral("touched.pstidx")));
        touchCacheFile(cache.filePath(QStringLiteral("absent.pstidx")));
        QVERIFY(!cache.exists(QStringLiteral("absent.pstidx")));

        QCOMPARE(pruneCacheFilesNow(), 2);
        for (const Entry& e : entries)
            QCOMPARE(cache.exists(QString::fromLatin1(e.name)), e.kept);
        QVERIFY(cache.exists(QStringLiteral("folder.pstidx")));
    }
};

QTEST_GUILESS_MAIN(TestIndexCache)
#include "tst_indexcache.moc"
