// The b-tree loader against libpst's pst_load_index: identical structures on
// the demo mailbox, generated files of every format and encryption, enron.pst
// and the two Outlook 2013 OST files, and on descriptor trees with orphans and
// cycles; damaged b-tree pages refused without a crash, one check at a time
// and under random damage.

#include "PstWriter.h"
#include "sorrel/store/PstBTreeLoader.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstIndexCache.h"

#include <Corbelin/SupportFoundation.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <functional>
#include <random>
#include <set>

using namespace pstw;

namespace {

// A file as pst_open leaves it; closed (index and tree freed) by libpst.
struct OpenedPst {
    pst_file pf{};
    bool opened = false;
    explicit OpenedPst(const QString& path)
    {
        opened = pst_open(&pf, QFile::encodeName(path).constData(), nullptr) == 0;
    }
    ~OpenedPst()
    {
        if (opened)
            pst_close(&pf);
    }
    OpenedPst(const OpenedPst&) = delete;
    OpenedPst& operator=(const OpenedPst&) = delete;
};

QString pstgen() { return qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/pstgen"); }

bool runPstgen(const QStringList& args)
{
    QProcess p;
    p.start(pstgen(), args);
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// What a loaded index must be whatever the file held: a table sorted by id
// whose blocks lie inside the file, and a tree whose links agree with each
// other and point into the table. Returns the first fault, or empty.
QString checkInvariants(const pst_file& pf, uint64_t fileSize)
{
    for (size_t i = 0; i < pf.i_count; ++i) {
        const pst_index_ll e = pf.i_table[i];
        if (!pstBlockEntryFits(e, fileSize))
            return QStringLiteral("entry %1 outside the file").arg(i);
        if (i > 0 && e.i_id <= pf.i_table[i - 1].i_id)
            return QStringLiteral("entry %1 out of order").arg(i);
    }
    auto inTable = [&](const pst_index_ll* e) { return !e || (e >= pf.i_table && e < pf.i_table + pf.i_count); };
    size_t nodes = 0;
    std::function<QString(pst_desc_tree*, pst_desc_tree*, pst_desc_tree*)> walk =
        [&](pst_desc_tree* first, pst_desc_tree* parent, pst_desc_tree* expectedTail) -> QString {
        pst_desc_tree* prev = nullptr;
        for (pst_desc_tree* n = first; n; n = n->next) {
            if (++nodes > 10000000)
                return QStringLiteral("the tree does not end");
            if (n->parent != parent || n->prev != prev || !inTable(n->desc) || !inTable(n->assoc_tree))
                return QStringLiteral("bad links at node %1").arg(n->d_id);
            int children = 0;
            for (pst_desc_tree* c = n->child; c; c = c->next)
                ++children;
            if (children != n->no_child)
                return QStringLiteral("no_child of node %1").arg(n->d_id);
            const QString below = walk(n->child, n, n->child_tail);
            if (!below.isEmpty())
                return below;
            prev = n;
        }
        return prev == expectedTail ? QString() : QStringLiteral("wrong tail below %1").arg(parent ? parent->d_id : 0);
    };
    return walk(pf.d_head, nullptr, pf.d_tail);
}

// Where the pages of a b-tree are and how they are laid out, for damaging
// them on purpose.
struct PageLayout {
    int pageSize, countsAt, trailerAt, idSize;
    bool wideCounts;
    int branchEntry;
    static PageLayout of(const pst_file& pf)
    {
        switch (pf.do_read64) {
        case 0:
            return {512, 496, 500, 4, false, 12};
        case 1:
            return {512, 488, 496, 8, false, 24};
        default:
            return {4096, 4056, 4072, 8, true, 24};
        }
    }
    int crcAt() const { return trailerAt + (idSize == 4 ? 8 : 4); }
    int bidAt() const { return trailerAt + (idSize == 4 ? 4 : 8); }
    int countOf(const QByteArray& page) const
    {
        return wideCounts ? qFromLittleEndian<quint16>(page.constData() + countsAt) : uchar(page[countsAt]);
    }
    int levelOf(const QByteArray& page) const { return uchar(page[countsAt + (wideCounts ? 5 : 3)]); }
};

uint32_t crcOf(const char* data, int size)
{
    uint32_t crc = 0;
    for (int i = 0; i < size; ++i) {
        crc ^= uchar(data[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (0xEDB88320u ^ (crc >> 1)) : (crc >> 1);
    }
    return crc;
}

uint64_t getId(const char* p, int size) { return size == 4 ? qFromLittleEndian<quint32>(p) : qFromLittleEndian<quint64>(p); }
void putId(char* p, int size, uint64_t v)
{
    if (size == 4)
        qToLittleEndian<quint32>(quint32(v), p);
    else
        qToLittleEndian<quint64>(v, p);
}

// The bytes of a PST file with its b-tree pages at hand.
struct PstImage {
    QByteArray bytes;
    PageLayout layout{};
    uint64_t blockRoot = 0, nodeRoot = 0;

    bool load(const QString& path)
    {
        OpenedPst pst(path);
        QFile f(path);
        if (!pst.opened || !f.open(QIODevice::ReadOnly))
            return false;
        bytes = f.readAll();
        layout = PageLayout::of(pst.pf);
        blockRoot = pst.pf.index1;
        nodeRoot = pst.pf.index2;
        return true;
    }
    QByteArray page(uint64_t ib) const { return bytes.mid(qsizetype(ib), layout.pageSize); }
    char* at(uint64_t ib) { return bytes.data() + ib; }
    // The i-th child entry of the branch page at ib.
    char* branch(uint64_t ib, int i) { return at(ib) + i * layout.branchEntry; }
    uint64_t childOf(uint64_t ib, int i) { return getId(branch(ib, i) + 2 * layout.idSize, layout.idSize); }
    void fixCrc(uint64_t ib)
    {
        qToLittleEndian<quint32>(crcOf(at(ib), layout.trailerAt), at(ib) + layout.crcAt());
    }
    // Every page of the tree below ib, depth first.
    void pagesBelow(uint64_t ib, std::vector<uint64_t>& out) const
    {
        out.push_back(ib);
        const QByteArray p = page(ib);
        if (layout.levelOf(p) == 0)
            return;
        for (int i = 0; i < layout.countOf(p); ++i)
            pagesBelow(getId(p.constData() + i * layout.branchEntry + 2 * layout.idSize, layout.idSize), out);
    }
    bool save(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }
};

enum class Tree { Blocks, Nodes };

} // namespace

Q_DECLARE_METATYPE(Tree)

class TestBTreeLoader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Loads path with both loaders; the structures must be identical.
    void compareWithLibpst(const QString& path)
    {
        OpenedPst theirs(path);
        OpenedPst ours(path);
        QVERIFY2(theirs.opened && ours.opened, qPrintable(path));
        QCOMPARE(pst_load_index(&theirs.pf), 0);
        PstBTreeReport report;
        QCOMPARE(pstLoadBTrees(&ours.pf, &report), PstBTreeResult::Loaded);
        QVERIFY2(report.summary().isEmpty(), qPrintable(report.summary()));
        QVERIFY(report.pagesRead > 0);
        QCOMPARE(report.blocks, uint64_t(theirs.pf.i_count));
        QVERIFY(theirs.pf.i_count > 0 && theirs.pf.d_head);
        QCOMPARE(pstIndexDifference(&ours.pf, &theirs.pf), QString());
        QCOMPARE(ours.pf.i_capacity, ours.pf.i_count);
    }

    QString generated(const QString& name, const QStringList& args)
    {
        const QString path = m_dir.filePath(name);
        if (!QFile::exists(path) && !runPstgen(QStringList{QStringLiteral("--out"), path} + args))
            return {};
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(m_dir.path().toStdString()));
    }

    void matchesLibpst_data()
    {
        QTest::addColumn<QString>("fixture"); // environment variable naming a real-world file
        QTest::addColumn<QStringList>("pstgenArgs");
        const QStringList big{"--mails", "1500", "--folders", "4", "--contacts", "40", "--attach-every", "7"};
        QTest::newRow("demo") << QString() << QStringList{"--demo"};
        QTest::newRow("unicode") << QString() << big;
        QTest::newRow("unicode compressible") << QString() << big + QStringList{"--compressible"};
        QTest::newRow("ansi") << QString() << big + QStringList{"--ansi"};
        QTest::newRow("ansi compressible") << QString() << big + QStringList{"--ansi", "--compressible"};
        QTest::newRow("enron") << "MARROWIN_ENRON_PST" << QStringList();
        QTest::newRow("ost 1") << "MARROWIN_OST_1" << QStringList();
        QTest::newRow("ost 2") << "MARROWIN_OST_2" << QStringList();
    }

    void matchesLibpst()
    {
        QFETCH(QString, fixture);
        QFETCH(QStringList, pstgenArgs);
        QString path;
        if (!fixture.isEmpty()) {
            path = qEnvironmentVariable(qPrintable(fixture));
        } else {
            path = m_dir.filePath(QStringLiteral("%1.pst").arg(QTest::currentDataTag()).replace(' ', '-'));
            const bool demo = pstgenArgs.first() == QLatin1String("--demo");
            QVERIFY(runPstgen(demo ? pstgenArgs + QStringList{path} : QStringList{QStringLiteral("--out"), path} + pstgenArgs));
        }
        QVERIFY2(QFile::exists(path), qPrintable(fixture + QLatin1Char(' ') + path));
        compareWithLibpst(path);
    }

    // Parents missing, appearing after their children (whole chains of
    // them), pointing at themselves or at 0, and closing cycles of two and
    // three nodes: libpst's tree is matched link for link.
    void matchesLibpstOnUnusualTrees_data()
    {
        QTest::addColumn<PstFormat>("format");
        QTest::newRow("unicode") << PstFormat::Unicode;
        QTest::newRow("ansi") << PstFormat::Ansi;
    }

    void matchesLibpstOnUnusualTrees()
    {
        QFETCH(PstFormat, format);
        const QString path = m_dir.filePath(QStringLiteral("unusual-%1.pst").arg(QTest::currentDataTag()));
        {
            PstWriter w(path, format);
            const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
            for (int i = 0; i < 5; ++i) {
                MessageSpec m;
                m.subject = QStringLiteral("mail %1").arg(i);
                w.addMessage(inbox, m);
            }
            auto nid = [](uint32_t index) { return (index << 5) | 0x1F; };
            const QByteArray data("raw node");
            w.addRawNode(nid(0x100), nid(0x103), data);       // parent comes later ...
            w.addRawNode(nid(0x101), nid(0x103));             // ... for two of them,
            w.addRawNode(nid(0x102), nid(0x100), data);       // a grandchild first seen below the orphan
            w.addRawNode(nid(0x103), inbox);                  // and the parent below a real folder
            w.addRawNode(nid(0x110), nid(0x7777), data);      // parent missing
            w.addRawNode(nid(0x111), nid(0x111));             // its own parent
            w.addRawNode(nid(0x112), 0, data);                // parent 0
            w.addRawNode(nid(0x120), nid(0x121));             // cycle of two
            w.addRawNode(nid(0x121), nid(0x120));
            w.addRawNode(nid(0x130), nid(0x132), data);       // cycle of three, closed by the last
            w.addRawNode(nid(0x131), nid(0x130));
            w.addRawNode(nid(0x132), nid(0x131));
            w.addRawNode(nid(0x140), nid(0x141));             // cycle of three, closed in the middle
            w.addRawNode(nid(0x141), nid(0x142));
            w.addRawNode(nid(0x142), nid(0x140));
            w.addRawNode(nid(0x150), nid(0x14F));             // child of a node that is not there,
            w.addRawNode(nid(0x151), nid(0x150));             // with a chain below it
            w.addRawNode(nid(0x152), nid(0x151));
            for (uint32_t i = 0; i < 40; ++i)                 // many children of a later parent
                w.addRawNode(nid(0x200 + i), nid(0x300), data);
            w.addRawNode(nid(0x300), 0x21);                   // below the message store
            QVERIFY(w.finish());
        }
        compareWithLibpst(path);

        // Where the odd nodes ended up ("-" for the top level), so that the
        // comparison above is known to meet every case.
        OpenedPst pst(path);
        QCOMPARE(pstLoadBTrees(&pst.pf), PstBTreeResult::Loaded);
        QStringList places;
        std::function<void(pst_desc_tree*)> collect = [&](pst_desc_tree* n) {
            for (; n; n = n->next) {
                const uint64_t id = n->d_id;
                if ((id & 0x1F) == 0x1F && (id >> 5) < 0x200) {
                    const pst_desc_tree* parent = n->parent;
                    places << QStringLiteral("%1<%2").arg(id >> 5, 0, 16).arg(
                        parent ? ((parent->d_id & 0x1F) == 0x1F ? QString::number(parent->d_id >> 5, 16)
                                                                 : QStringLiteral("folder"))
                               : QStringLiteral("-"));
                }
                collect(n->child);
            }
        };
        collect(pst.pf.d_head);
        places.sort();
        QCOMPARE(places.join(' '), QStringLiteral("100<103 101<103 102<100 103<folder 110<- 111<- 112<- 120<121 121<- "
                                                  "130<132 131<130 132<- 140<141 141<142 142<- 150<- 151<150 152<151"));
    }

    // One failed check at a time on a sound file: the page (or entry) is left
    // out and reported, the rest loads, and nothing libpst gets reaches
    // outside the file.
    void refusesDamagedPages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Tree>("tree");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("refused"); // pages refused
        QTest::addColumn<QString>("lost"); // "leaf 1", "leaf 2", "tree", "entry" or nothing
        for (const QString file : {"unicode", "ansi"}) {
            for (const Tree tree : {Tree::Blocks, Tree::Nodes}) {
                const QString prefix = file + (tree == Tree::Blocks ? " blocks " : " nodes ");
                auto row = [&](const char* damage, int refused, const char* lost) {
                    QTest::newRow(qPrintable(prefix + damage)) << file << tree << QString(damage) << refused << QString(lost);
                };
                row("page type", 1, "leaf 1");
                row("page type repeat", 1, "leaf 1");
                row("trailer id", 1, "leaf 1");
                row("count over max", 1, "leaf 1");
                row("count over the page", 1, "leaf 1");
                row("entry size", 1, "leaf 1");
                row("leaf level", 1, "leaf 1");
                row("keys out of order", 1, "leaf 1");
                row("key below its range", 1, "leaf 2");
                row("key above its range", 1, "leaf 1");
                row("root level too deep", 1, "tree");
                row("child outside the file", 1, "leaf 1");
                row("child reached twice", 1, "leaf 2");
                row("cycle to the root", 1, "leaf 1");
                row("checksum", 0, "");
            }
            QTest::newRow(qPrintable(file + " block outside the file")) << file << Tree::Blocks << "block outside" << 0 << "entry";
            QTest::newRow(qPrintable(file + " block past the end")) << file << Tree::Blocks << "block past end" << 0 << "entry";
            QTest::newRow(qPrintable(file + " cut before the root")) << file << Tree::Blocks << "truncated" << 1 << "tree";
        }
    }

    void refusesDamagedPages()
    {
        QFETCH(QString, file);
        QFETCH(Tree, tree);
        QFETCH(QString, damage);
        QFETCH(int, refused);
        QFETCH(QString, lost);
        // Two levels in both trees, at least two leaves each.
        QStringList args{"--mails", "60", "--folders", "2", "--attach-every", "0", "--body-size", "64"};
        if (file == QLatin1String("ansi"))
            args << QStringLiteral("--ansi");
        const QString sound = generated(QStringLiteral("small-%1.pst").arg(file), args);
        QVERIFY(!sound.isEmpty());
        PstImage image;
        QVERIFY(image.load(sound));
        const PageLayout& l = image.layout;
        const uint64_t root = tree == Tree::Blocks ? image.blockRoot : image.nodeRoot;
        QVERIFY(l.levelOf(image.page(root)) == 1 && l.countOf(image.page(root)) >= 2);
        const uint64_t leaf = image.childOf(root, 0);
        const uint64_t leaf2 = image.childOf(root, 1);
        const int leafEntries = l.countOf(image.page(leaf));
        const int leaf2Entries = l.countOf(image.page(leaf2));
        const int entrySize = uchar(image.page(leaf)[l.countsAt + (l.wideCounts ? 4 : 2)]);
        char* counts = image.at(leaf) + l.countsAt;
        const int levelAt = l.countsAt + (l.wideCounts ? 5 : 3);
        const uint64_t fileSize = uint64_t(image.bytes.size());
        uint64_t damaged = leaf; // the page whose checksum is made to fit again

        if (damage == QLatin1String("page type")) {
            image.at(leaf)[l.trailerAt] = char(0x82);
        } else if (damage == QLatin1String("page type repeat")) {
            image.at(leaf)[l.trailerAt + 1] = char(0x84);
        } else if (damage == QLatin1String("trailer id")) {
            char* bid = image.at(leaf) + l.bidAt();
            putId(bid, l.idSize, getId(bid, l.idSize) + 4);
        } else if (damage == QLatin1String("count over max")) {
            counts[0] = char(uchar(counts[l.wideCounts ? 2 : 1]) + 1);
        } else if (damage == QLatin1String("count over the page")) {
            counts[0] = counts[1] = char(0xFF);
        } else if (damage == QLatin1String("entry size")) {
            counts[l.wideCounts ? 4 : 2] = char(entrySize + 4);
        } else if (damage == QLatin1String("leaf level")) {
            image.at(leaf)[levelAt] = 1;
        } else if (damage == QLatin1String("keys out of order")) {
            putId(image.at(leaf) + entrySize, l.idSize, getId(image.at(leaf), l.idSize));
        } else if (damage == QLatin1String("key below its range")) {
            damaged = leaf2;
            putId(image.at(leaf2), l.idSize, getId(image.branch(root, 0), l.idSize));
        } else if (damage == QLatin1String("key above its range")) {
            putId(image.at(leaf) + (leafEntries - 1) * entrySize, l.idSize, getId(image.branch(root, 1), l.idSize));
        } else if (damage == QLatin1String("root level too deep")) {
            damaged = root;
            image.at(root)[levelAt] = char(17);
        } else if (damage == QLatin1String("child outside the file")) {
            damaged = root;
            putId(image.branch(root, 0) + 2 * l.idSize, l.idSize, fileSize - 100);
        } else if (damage == QLatin1String("child reached twice")) {
            damaged = root; // the second entry names the first leaf
            std::memcpy(image.branch(root, 1) + l.idSize, image.branch(root, 0) + l.idSize, size_t(2 * l.idSize));
        } else if (damage == QLatin1String("cycle to the root")) {
            damaged = root;
            putId(image.branch(root, 0) + l.idSize, l.idSize, getId(image.at(root) + l.bidAt(), l.idSize));
            putId(image.branch(root, 0) + 2 * l.idSize, l.idSize, root);
        } else if (damage == QLatin1String("checksum")) {
            damaged = 0;
            image.at(leaf)[l.crcAt()] ^= 0x5A;
        } else if (damage == QLatin1String("block outside")) {
            putId(image.at(leaf) + 2 * entrySize + l.idSize, l.idSize, fileSize + 64);
        } else if (damage == QLatin1String("block past end")) {
            putId(image.at(leaf) + 2 * entrySize + l.idSize, l.idSize, fileSize - 8);
        } else if (damage == QLatin1String("truncated")) {
            damaged = 0;
            image.bytes.truncate(qsizetype(root + 100));
        }
        if (damaged)
            image.fixCrc(damaged);
        const QString path = m_dir.filePath(QStringLiteral("damaged.pst"));
        QVERIFY(image.save(path));

        OpenedPst clean(sound);
        PstBTreeReport cleanReport;
        QCOMPARE(pstLoadBTrees(&clean.pf, &cleanReport), PstBTreeResult::Loaded);
        OpenedPst pst(path);
        QVERIFY(pst.opened);
        PstBTreeReport report;
        QCOMPARE(pstLoadBTrees(&pst.pf, &report), PstBTreeResult::Damaged);
        QVERIFY(!report.firstProblem.isEmpty());
        QCOMPARE(report.pagesRefused, uint64_t(refused));
        QCOMPARE(report.checksumMismatches, uint64_t(damage == QLatin1String("checksum") ? 1 : 0));
        QCOMPARE(report.entriesDropped, uint64_t(lost == QLatin1String("entry") ? 1 : 0));
        QCOMPARE(checkInvariants(pst.pf, uint64_t(image.bytes.size())), QString());

        const bool blocks = tree == Tree::Blocks;
        const uint64_t all = blocks ? cleanReport.blocks : cleanReport.descriptors;
        const uint64_t have = blocks ? report.blocks : report.descriptors;
        // The other tree is whole.
        QCOMPARE(blocks ? report.descriptors : report.blocks, blocks ? cleanReport.descriptors : cleanReport.blocks);
        if (lost.isEmpty())
            QCOMPARE(pstIndexDifference(&pst.pf, &clean.pf), QString());
        else if (lost == QLatin1String("leaf 1"))
            QCOMPARE(have, all - uint64_t(leafEntries));
        else if (lost == QLatin1String("leaf 2"))
            QCOMPARE(have, all - uint64_t(leaf2Entries));
        else if (lost == QLatin1String("tree"))
            QCOMPARE(have, uint64_t(0));
        else
            QCOMPARE(have, all - 1);
    }

    // Random damage to the b-tree pages of small generated files and of an
    // Outlook 2013 OST file (4 KB pages): byte flips (with the checksum made
    // to fit again or not) and cuts. Whatever the loader makes of them, it
    // does not crash and what it installs holds together. The mutant is the
    // sound file patched in place and restored after each round.
    void survivesRandomDamage()
    {
        struct Source {
            PstImage image;
            std::vector<uint64_t> pages;
            QString path;
        };
        std::vector<Source> sources;
        const QStringList sounds{
            generated(QStringLiteral("random.pst"), {"--mails", "120", "--attach-every", "0"}),
            generated(QStringLiteral("random-ansi.pst"), {"--mails", "120", "--attach-every", "0", "--ansi"}),
            qEnvironmentVariable("MARROWIN_OST_1")};
        for (const QString& sound : sounds) {
            Source source;
            QVERIFY2(source.image.load(sound), qPrintable(sound));
            source.image.pagesBelow(source.image.blockRoot, source.pages);
            source.image.pagesBelow(source.image.nodeRoot, source.pages);
            source.path = m_dir.filePath(QStringLiteral("mutant-%1.pst").arg(sources.size()));
            QVERIFY(source.image.save(source.path));
            sources.push_back(std::move(source));
        }
        std::mt19937 random(20240611);
        int damaged = 0;
        for (int round = 0; round < 450; ++round) {
            Source& source = sources[size_t(round) % sources.size()];
            const PageLayout& l = source.image.layout;
            QFile file(source.path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            std::set<uint64_t> touched;
            const int flips = 1 + int(random() % 6);
            for (int f = 0; f < flips; ++f) {
                const uint64_t ib = source.pages[random() % source.pages.size()];
                QByteArray page = touched.count(ib) ? (file.seek(qint64(ib)), file.read(l.pageSize))
                                                    : source.image.page(ib);
                // Mostly where the structure is: entries, counts and trailer.
                const int at = random() % 3 ? int(random() % 64) : int(random() % uint32_t(l.pageSize));
                page[random() % 2 ? at : l.pageSize - 1 - at] = char(random());
                if (random() % 2)
                    qToLittleEndian<quint32>(crcOf(page.constData(), l.trailerAt), page.data() + l.crcAt());
                QVERIFY(file.seek(qint64(ib)) && file.write(page) == page.size());
                touched.insert(ib);
            }
            qint64 size = source.image.bytes.size();
            if (random() % 8 == 0) {
                size = qint64(source.pages[random() % source.pages.size()] + random() % 512);
                QVERIFY(file.resize(size));
            }
            file.close();
            {
                OpenedPst pst(source.path);
                if (pst.opened) {
                    PstBTreeReport report;
                    const PstBTreeResult result = pstLoadBTrees(&pst.pf, &report);
                    QVERIFY(result != PstBTreeResult::Unreadable);
                    damaged += result == PstBTreeResult::Damaged;
                    const QString fault = checkInvariants(pst.pf, uint64_t(size));
                    QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(fault)));
                }
            }
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (size != source.image.bytes.size())
                QVERIFY(file.seek(size) && file.write(source.image.bytes.mid(size)) == source.image.bytes.size() - size);
            for (uint64_t ib : touched)
                QVERIFY(file.seek(qint64(ib)) && file.write(source.image.page(ib)) == l.pageSize);
        }
        QVERIFY2(damaged > 250, qPrintable(QString::number(damaged)));
        for (const Source& source : sources) { // every round started from the sound file
            QFile file(source.path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.readAll() == source.image.bytes);
        }
    }

    // Opening through PstDocument: a sound file's index comes from the
    // loader and is cached; a damaged one opens with what could be read, says
    // so and is not cached (so every open says so again); one whose node tree
    // root is refused fails, and is not handed to libpst's walk instead.
    void documentOpensWithTheLoader_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("logged");
        QTest::newRow("sound") << QString() << true << "[profile] pst index from file: ";
        QTest::newRow("last node leaf") << "leaf" << true
                                        << "Damaged pst index, opening what could be read: 1 b-tree page(s) refused; "
                                           "first: node b-tree page";
        QTest::newRow("node root") << "root" << false << "Damaged pst index, opening what could be read: 1 b-tree";
    }

    void documentOpensWithTheLoader()
    {
        QFETCH(QString, damage);
        QFETCH(bool, opens);
        QFETCH(QString, logged);
        const QString sound = generated(QStringLiteral("document.pst"), {"--mails", "200", "--folders", "3"});
        QVERIFY(!sound.isEmpty());
        PstImage image;
        QVERIFY(image.load(sound));
        const uint64_t root = image.nodeRoot;
        const uint64_t page = damage == QLatin1String("root") ? root : image.childOf(root, image.layout.countOf(image.page(root)) - 1);
        if (!damage.isEmpty()) {
            image.at(page)[image.layout.trailerAt] = char(0x80);
            image.fixCrc(page);
        }
        const QString path = m_dir.filePath(QStringLiteral("document-%1.pst").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(image.save(path));
        const QString cache = PstIndexCache::cachePathFor(path);
        QFile::remove(cache);

        auto itemsOf = [](const QString& file) {
            PstDocument document;
            if (!document.open(file))
                return -1;
            int items = 0;
            std::function<void(const PstFolderItemPtr&)> walk = [&](const PstFolderItemPtr& folder) {
                folder->loadChildren();
                items += int(folder->items().size());
                for (const PstFolderItemPtr& sub : folder->subfolders())
                    walk(sub);
            };
            if (const PstFolderItemPtr fileNode = document.parse(file))
                walk(fileNode);
            return items;
        };
        Corbelin::ILogConfig::FlushBuffer();
        QFile log(QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        log.seek(log.size());
        const int items = itemsOf(path);
        Corbelin::ILogConfig::FlushBuffer();
        const QString lines = QString::fromUtf8(log.readAll());
        QVERIFY2(lines.contains(logged), qPrintable(lines));
        QVERIFY(!lines.contains(QStringLiteral("trying pst_load_index")));
        QCOMPARE(lines.contains(QStringLiteral("Failed to open, pst_load_index error.")), !opens);
        QCOMPARE(QFile::exists(cache), damage.isEmpty());

        const int soundItems = itemsOf(sound);
        QVERIFY(soundItems >= 200);
        if (!opens)
            QCOMPARE(items, -1);
        else if (damage.isEmpty())
            QCOMPARE(items, soundItems);
        else
            QVERIFY2(items > 0 && items < soundItems, qPrintable(QString::number(items)));
    }

    void refusesWhatItCannotRead()
    {
        pst_file none{};
        QCOMPARE(pstLoadBTrees(&none), PstBTreeResult::Unreadable);
        QCOMPARE(pstLoadBTrees(nullptr), PstBTreeResult::Unreadable);
        const QString sound = generated(QStringLiteral("random.pst"), {"--mails", "120", "--attach-every", "0"});
        OpenedPst pst(sound);
        QVERIFY(pst.opened);
        QCOMPARE(pstLoadBTrees(&pst.pf), PstBTreeResult::Loaded);
        // A second load onto a filled structure would leak or mix the two.
        pst_index_ll* table = pst.pf.i_table;
        QCOMPARE(pstLoadBTrees(&pst.pf), PstBTreeResult::Unreadable);
        QCOMPARE(pst.pf.i_table, table);
    }
};

QTEST_GUILESS_MAIN(TestBTreeLoader)
#include "tst_btreeloader.moc"
