// The search index file byte for byte, and every rejection that matters:
// a reader takes a file whole or not at all.

#include "sorrel/search/PstSearch.h"
#include "sorrel/search/PstSearchIndex.h"

#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <optional>

namespace {

const SearchIndexKey kKey{1234, 1700000000, 11, 22, 33, 44};

QByteArray bigEndian(const SearchIndexKey& key)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << key.fileSize << key.modifiedSecs << key.index1 << key.index2 << key.index1Back << key.index2Back;
    return bytes;
}

PstSearchRecord record(qint64 id, int kind, int depth)
{
    PstSearchRecord r;
    r.itemId = id;
    for (int i = 0; i < depth; ++i)
        r.folderPath << 32802 + 32 * i;
    r.kind = kind;
    r.rowInFolder = int(id % 7);
    r.title = QStringLiteral("Title %1").arg(id);
    r.subject = QStringLiteral("Grüße %1").arg(id);
    r.dateText = QStringLiteral("2024/05/01");
    r.iconPath = QStringLiteral(":/img/contact@3x.png");
    r.hasAttachments = kind == 0;
    r.taskFlag = kind == 4;
    r.fieldTexts = {{PstSearchField::Subject, r.subject}, {PstSearchField::Body, QStringLiteral("お見積もり body")}};
    return r;
}

// The payload as the format lays it out: count, then per record its fields in order.
QByteArray payloadOf(const QList<PstSearchRecord>& records, std::optional<qint32> count = {})
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << count.value_or(qint32(records.size()));
    for (const PstSearchRecord& r : records) {
        out << r.itemId << qint32(r.folderPath.size());
        for (qint64 id : r.folderPath)
            out << id;
        out << r.kind << r.rowInFolder << r.title << r.subject << r.dateText << r.durationText << r.iconPath
            << r.hasAttachments << r.taskFlag << qint32(r.fieldTexts.size());
        for (auto it = r.fieldTexts.cbegin(); it != r.fieldTexts.cend(); ++it)
            out << qint32(it.key()) << it.value();
    }
    return bytes;
}

struct FileLayout {
    qint32 version = 3;
    qint64 payloadSize = -1;  // -1: the real one
    qint32 blockSize = -1;
    qint32 prefix = -1;
};

// A file as Qt's own qCompress (level 6) lays it out.
QByteArray fileOf(const QByteArray& payload, const FileLayout& layout = {})
{
    QByteArray block = qCompress(payload, 6);
    if (layout.prefix >= 0)
        qToBigEndian<qint32>(layout.prefix, block.data());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.writeRawData("PSTSRCH1", 8);
    out << layout.version << kKey.fileSize << kKey.modifiedSecs << kKey.index1 << kKey.index2 << kKey.index1Back
        << kKey.index2Back << (layout.payloadSize < 0 ? qint64(payload.size()) : layout.payloadSize)
        << (layout.blockSize < 0 ? qint32(block.size()) : layout.blockSize);
    return bytes + block;
}

} // namespace

class TestSearchIndex : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("case.pstsrch"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return {};
        return path;
    }

private slots:
    void writesTheFormatByteForByte()
    {
        const QList<PstSearchRecord> records{record(2097188, 0, 2), record(2097220, 2, 0), record(2097252, 4, 3)};
        const QString path = m_dir.filePath(QStringLiteral("written.pstsrch"));
        QVERIFY(saveSearchIndex(path, kKey, records));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const QByteArray payload = payloadOf(records);

        QCOMPARE(bytes.left(12), QByteArray("PSTSRCH1\0\0\0\3", 12));
        QCOMPARE(bytes.mid(12, 48), bigEndian(kKey));
        QCOMPARE(qFromBigEndian<qint64>(bytes.constData() + 60), qint64(payload.size()));
        QCOMPARE(qFromBigEndian<qint32>(bytes.constData() + 68), qint32(bytes.size() - 72));
        // The block: the size again, then a zlib stream of exactly the payload
        // (read back by Qt's own qUncompress).
        QCOMPARE(qFromBigEndian<quint32>(bytes.constData() + 72), quint32(payload.size()));
        QCOMPARE(qUncompress(bytes.mid(72)), payload);

        QList<PstSearchRecord> read;
        PstSearchFileRecords compact;
        QVERIFY(readSearchIndex(path, kKey, [&](PstSearchRecord&& r) {
            compact.append(r);
            read << r;
        }));
        QCOMPARE(read, records);
        QVERIFY(searchIndexHeaderValid(path, kKey));
        // The search's compact copy gives back every text (Latin-1 and not).
        QCOMPARE(compact.size(), records.size());
        for (int row = 0; row < records.size(); ++row) {
            PstSearchRecord back = compact.record(row);
            QCOMPARE(back.title, records[row].title);
            QCOMPARE(back.subject, records[row].subject);
            QCOMPARE(back.folderPath, records[row].folderPath);
            for (int f = 1; f <= 5; ++f)
                QCOMPARE(back.fieldText(PstSearchField(f)), records[row].fieldText(PstSearchField(f)));
        }

        // Nothing is written for a file whose state is unknown.
        const QString unknown = m_dir.filePath(QStringLiteral("unknown.pstsrch"));
        QVERIFY(!saveSearchIndex(unknown, SearchIndexKey(), records));
        QVERIFY(!QFile::exists(unknown));
        QVERIFY(!saveSearchIndex(QString(), kKey, records));
    }

    void rejects_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("headerValid");
        const QByteArray payload = payloadOf({record(1, 0, 1), record(2, 5, 2)});
        const QByteArray good = fileOf(payload);
        QTest::newRow("qCompress at level 6") << good << true << true;
        QTest::newRow("version 2") << fileOf(payload, {.version = 2}) << false << false;
        QByteArray otherKey = good;
        qToBigEndian<qint64>(kKey.modifiedSecs + 1, otherKey.data() + 20);  // the PST file was touched
        QTest::newRow("modification time differs") << otherKey << false << false;
        QTest::newRow("payload size 0") << fileOf(payload, {.payloadSize = 0}) << false << false;
        QTest::newRow("payload size over 1 GiB") << fileOf(payload, {.payloadSize = 0x40000001}) << false << false;
        QTest::newRow("block larger than the file") << fileOf(payload, {.blockSize = qint32(good.size()) + 1}) << false << false;
        QTest::newRow("block size 0") << fileOf(payload, {.blockSize = 0}) << false << false;
        QTest::newRow("size prefix disagrees") << fileOf(payload, {.prefix = int(payload.size()) + 1}) << false << true;
        QTest::newRow("declared sizes larger than the stream")
            << fileOf(payload, {.payloadSize = payload.size() + 4, .prefix = int(payload.size()) + 4}) << false << true;
        QTest::newRow("cut short") << good.left(good.size() - 3) << false << true;
        QByteArray damaged = good;
        damaged[damaged.size() - 1] = char(damaged.at(damaged.size() - 1) ^ 0x5a);  // the stream's checksum
        QTest::newRow("damaged stream") << damaged << false << true;
        QTest::newRow("header only") << good.left(72) << false << false;
        PstSearchRecord large = record(3, 0, 1);
        large.fieldTexts[PstSearchField::Body] = QString(3 * 1024 * 1024, QLatin1Char('w'));  // inflated in several pieces
        QTest::newRow("a payload of megabytes") << fileOf(payloadOf({large, record(4, 0, 1)})) << true << true;
        QTest::newRow("folder path of 4096") << fileOf(payloadOf({record(1, 0, 4096)})) << true << true;
        QTest::newRow("folder path of 4097") << fileOf(payloadOf({record(1, 0, 4097)})) << false << true;
        QTest::newRow("10,000,001 records") << fileOf(payloadOf({}, 10000001)) << false << true;
        QTest::newRow("negative record count") << fileOf(payloadOf({}, -1)) << false << true;
        QTest::newRow("more records declared than written") << fileOf(payloadOf({record(1, 0, 1)}, 2)) << false << true;
    }
    void rejects()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, accepted);
        QFETCH(bool, headerValid);
        const QString path = write(file);
        QVERIFY(!path.isEmpty());
        QCOMPARE(searchIndexHeaderValid(path, kKey), headerValid);
        int count = 0;
        QCOMPARE(readSearchIndex(path, kKey, [&](PstSearchRecord&&) { ++count; }), accepted);
        QVERIFY(!searchIndexHeaderValid(path, SearchIndexKey()));
    }

    void pathsAndKeys()
    {
        QVERIFY(searchIndexPath(QString()).isEmpty());
        // A missing file still has an index path, but no known state.
        const QString missing = m_dir.filePath(QStringLiteral("missing.pst"));
        QVERIFY(searchIndexPath(missing).endsWith(QStringLiteral(".pstsrch")));
        QVERIFY(!searchIndexKey(PstFileHandle()).isKnown());
        // A symbolic link names the same index as its target.
        const QString target = m_dir.filePath(QStringLiteral("real.pst"));
        QFile real(target);
        QVERIFY(real.open(QIODevice::WriteOnly));
        real.write("x");
        real.close();
        const QString link = m_dir.filePath(QStringLiteral("link.pst"));
        QVERIFY(QFile::link(target, link));
        QCOMPARE(searchIndexPath(link), searchIndexPath(target));
        QVERIFY(searchIndexPath(missing) != searchIndexPath(target));
    }
};

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
