#include "sorrel/store/PstExtraProperties.h"
#include "sorrel/store/PstLibrary.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

PstFileHandle openPst(const QString& path)
{
    PstFileHandle h = makePstFileHandle();
    if (!h || pst_open(h.get(), QFile::encodeName(path).constData(), nullptr) != 0)
        return {};
    if (pst_load_index(h.get()) != 0 || pst_load_extended_attributes(h.get()) != 1)
        return {};
    return h;
}

QString enronPath()
{
    return qEnvironmentVariable("MARROWIN_ENRON_PST");
}

// A string value as libpst hands it out: up to its first NUL.
QString decodedString(const PstRawProperty& p)
{
    QString s = p.type == 0x001F
        ? QString::fromUtf16(reinterpret_cast<const char16_t*>(p.value.constData()), p.value.size() / 2)
        : QString::fromLatin1(p.value);
    return s.left(s.indexOf(QChar(0)));
}

}  // namespace

class TestExtraProperties : public QObject {
    Q_OBJECT

private slots:
    void enronEveryItem();
    void enronCorruptBlocks_data();
    void enronCorruptBlocks();
};

// Every object of the real-world file reads without a task or journal record
// (it holds only mails and folders), and the reader's raw values agree with
// libpst's own parse for inline, heap and subnode values.
void TestExtraProperties::enronEveryItem()
{
    QVERIFY2(QFile::exists(enronPath()), "enron.pst missing: MARROWIN_ENRON_PST");
    PstFileHandle h = openPst(enronPath());
    QVERIFY(h);
    pst_file* pf = h.get();

    int classes = 0, dates = 0, sizes = 0, bodies = 0, subnodeBodies = 0;
    for (pst_desc_tree* d = pf->d_head; d; d = pst_getNextDptr(d)) {
        const PstExtraProperties extra = pstReadExtraProperties(pf, d);
        QVERIFY(!extra.task);
        QVERIFY(!extra.journalDuration);

        pst_item* item = pst_parse_item(pf, d, nullptr);
        if (!item)
            continue;
        const bool message = (d->d_id & 0x1F) == 0x04 || (d->d_id & 0x1F) == 0x08;
        if (message && item->ascii_type) {
            const auto cls = pstReadRawProperty(pf, d, 0x001A);
            QVERIFY(cls);
            QCOMPARE(decodedString(*cls), QString::fromUtf8(item->ascii_type));
            ++classes;
        }
        if (item->create_date) {
            const auto created = pstReadRawProperty(pf, d, 0x3007);
            QVERIFY(created);
            QCOMPARE(created->type, uint16_t(0x0040));
            QCOMPARE(created->value.size(), qsizetype(8));
            QVERIFY(std::memcmp(created->value.constData(), item->create_date, 8) == 0);
            ++dates;
        }
        if (message && item->message_size) {
            const auto size = pstReadRawProperty(pf, d, 0x0E08);
            QVERIFY(size);
            QCOMPARE(size->value.size(), qsizetype(4));
            QVERIFY(std::memcmp(size->value.constData(), &item->message_size, 4) == 0);
            ++sizes;
        }
        if (item->body.str && item->body.is_utf8) {
            const auto body = pstReadRawProperty(pf, d, 0x1000);
            QVERIFY(body);
            if (body->type == 0x001F) {
                QCOMPARE(decodedString(*body), QString::fromUtf8(item->body.str));
                ++bodies;
                if (body->value.size() > 3580)  // larger than any heap allocation: a subnode
                    ++subnodeBodies;
            }
        }
        pst_freeItem(item);
    }
    QVERIFY(classes > 50);
    QVERIFY(dates > 50);
    QVERIFY(sizes > 50);
    QVERIFY(bodies > 20);
    QVERIFY(subnodeBodies > 0);
    qInfo("compared: %d classes, %d dates, %d sizes, %d bodies (%d in subnodes)",
          classes, dates, sizes, bodies, subnodeBodies);
}

void TestExtraProperties::enronCorruptBlocks_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("hitsPerBlock");
    for (quint32 seed = 1; seed <= 12; ++seed)
        QTest::addRow("seed %u", seed) << seed << int(1 + seed % 4 * 3);
}

// Damaged blocks (headers, page maps, B-tree records, block lists, subnode
// lists) never crash the reader; null inputs give an empty result.
void TestExtraProperties::enronCorruptBlocks()
{
    QFETCH(quint32, seed);
    QFETCH(int, hitsPerBlock);
    QVERIFY2(QFile::exists(enronPath()), "enron.pst missing: MARROWIN_ENRON_PST");
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("damaged.pst"));
    QVERIFY(QFile::copy(enronPath(), copy));
    PstFileHandle h = openPst(copy);
    QVERIFY(h);
    pst_file* pf = h.get();

    QVERIFY(!pstReadExtraProperties(nullptr, pf->d_head).task);
    QVERIFY(!pstReadExtraProperties(pf, nullptr).task);
    QVERIFY(!pstReadRawProperty(pf, nullptr, 0x001A));

    // The index is in memory; damage the blocks on disk below it. Hits favour
    // the structural parts: the start of a block and its end (page map).
    QFile f(copy);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QRandomGenerator rng(seed);
    for (size_t i = 0; i < pf->i_count; ++i) {
        const pst_index_ll& e = pf->i_table[i];
        if (e.size == 0 || e.offset + e.size > pf->size)
            continue;
        for (int k = 0; k < hitsPerBlock; ++k) {
            const quint64 span = qMin<quint64>(e.size, 32);
            const quint64 at = rng.bounded(3) == 0 ? e.offset + rng.bounded(quint32(e.size))
                : rng.bounded(2) == 0 ? e.offset + rng.bounded(quint32(span))
                                      : e.offset + e.size - 1 - rng.bounded(quint32(span));
            f.seek(qint64(at));
            const char byte = char(rng.bounded(256));
            f.write(&byte, 1);
        }
    }
    f.close();

    for (pst_desc_tree* d = pf->d_head; d; d = pst_getNextDptr(d)) {
        pstReadExtraProperties(pf, d);
        pstReadRawProperty(pf, d, 0x1000);
        pstReadRawProperty(pf, d, 0x3007);
    }
}

QTEST_GUILESS_MAIN(TestExtraProperties)
#include "tst_extraproperties.moc"
