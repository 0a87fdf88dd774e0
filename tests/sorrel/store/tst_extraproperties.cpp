#include "sorrel/store/PstExtraProperties.h"
#include "sorrel/store/PstLibrary.h"

#include "PstWriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>

using namespace pstw;

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

pst_desc_tree* findNode(pst_file* pf, uint64_t id)
{
    for (pst_desc_tree* d = pf->d_head; d; d = pst_getNextDptr(d)) {
        if (d->d_id == id)
            return d;
    }
    return nullptr;
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

// What the reader must give for one written item.
struct Expected {
    bool task = false;
    std::optional<QDateTime> due, start, completed;
    double percent = 0;
    int32_t status = 0, actual = 0, estimated = 0, complete = 0;
    std::optional<QByteArray> owner;
    std::optional<int32_t> duration;
    bool spreadContext = false;  // the property context must span a block tree
    bool subnodes = false;       // the item must have a subnode tree
};

struct Case {
    const char* name;
    MessageSpec message;
    Expected expect;
};

const QDateTime kStart(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
const QDateTime kDue(QDate(2024, 5, 31), QTime(17, 0), Qt::UTC);
const QDateTime kDone(QDate(2024, 5, 20), QTime(12, 15, 30), Qt::UTC);

PropKey taskKey(uint32_t lid) { return PropKey::named(pset::task(), lid); }
PropKey logKey(uint32_t lid) { return PropKey::named(pset::log(), lid); }

// Strings as libpst hands them out: UTF-8 from Unicode files, the code page's
// bytes (here Windows-1252, equal to Latin-1 for these texts) from ANSI ones.
QByteArray handedOut(PstFormat format, const QString& s)
{
    return format == PstFormat::Unicode ? s.toUtf8() : s.toLatin1();
}

QList<Case> cases(PstFormat format)
{
    QList<Case> out;
    auto task = [&](const char* name, TaskSpec t, Expected e) {
        t.subject = QString::fromLatin1(name);
        e.task = true;
        out.append({name, t.toMessage(), e});
    };
    auto journal = [&](const char* name, JournalSpec j, Expected e) {
        j.subject = QString::fromLatin1(name);
        j.start = kStart;
        j.end = kStart.addSecs(5400);
        out.append({name, j.toMessage(), e});
    };

    { TaskSpec t; t.due = kDue; Expected e; e.due = kDue; task("due only", t, e); }
    { TaskSpec t; t.percentComplete = 0.5; t.status = 1; t.start = kStart;
      Expected e; e.percent = 0.5; e.status = 1; e.start = kStart; task("half done", t, e); }
    const QString owner = QStringLiteral("Zo\u00eb Owner");
    TaskSpec full;
    full.start = kStart; full.due = kDue; full.completed = kDone; full.percentComplete = 1.0; full.status = 2;
    full.actualEffort = 90; full.estimatedEffort = 120; full.complete = true; full.owner = owner;
    Expected fullE;
    fullE.start = kStart; fullE.due = kDue; fullE.completed = kDone; fullE.percent = 1.0; fullE.status = 2;
    fullE.actual = 90; fullE.estimated = 120; fullE.complete = 1; fullE.owner = handedOut(format, owner);
    task("all done", full, fullE);
    { TaskSpec t; t.props.setRaw(taskKey(lid::TaskComplete), pt::Boolean, QByteArray("\x01\x00", 2));
      Expected e; e.complete = 1; task("complete 0x0001", t, e); }
    { TaskSpec t; t.props.setRaw(taskKey(lid::TaskComplete), pt::Boolean, QByteArray("\x00\x00", 2));
      task("complete 0x0000", t, Expected{}); }
    {
        // Wrong types: integers and the flag are read from the value's first
        // bytes, dates only from an 8-byte time, the owner only from text or binary.
        TaskSpec t;
        t.props.setRaw(taskKey(lid::TaskStatus), pt::String8, QByteArray("\x03\x00\x00\x00", 4));
        t.props.setRaw(taskKey(lid::TaskActualEffort), pt::Double, QByteArray("\x2d\x00\x00\x00\x00\x00\xf0\x3f", 8));
        t.props.setInt16(taskKey(lid::TaskEstimatedEffort), 7);
        t.props.setInt32(taskKey(lid::PercentComplete), 1);
        t.props.setInt32(taskKey(lid::TaskDueDate), 12345);
        t.props.setRaw(taskKey(lid::TaskStartDate), pt::SysTime, QByteArray("\x01\x02\x03\x04", 4));
        t.props.setInt64(taskKey(lid::TaskDateCompleted), int64_t(toFiletime(kDone)));
        t.props.setInt32(taskKey(lid::TaskComplete), 0x0100);
        t.props.setInt32(taskKey(lid::TaskOwner), 42);
        t.props.setRaw(logKey(lid::LogDuration), pt::String8, QByteArray("\x5a\x00\x00\x00", 4));
        Expected e; e.status = 3; e.actual = 45; e.estimated = 7; e.complete = 1; e.duration = 90;
        task("wrong types", t, e);
    }
    { TaskSpec t; t.props.setInt32(taskKey(lid::TaskDueDate), 1);
      task("only a wrong-typed date", t, Expected{}); }
    { TaskSpec t; t.props.setBinary(taskKey(lid::TaskOwner), QByteArray("\x01\x02own\x00er", 8));
      Expected e; e.owner = QByteArray("\x01\x02own\x00er", 8); task("binary owner", t, e); }
    { TaskSpec t; t.props.setString8(taskKey(lid::TaskOwner), QByteArray("Ann\0\0", 5));
      Expected e; e.owner = QByteArray("Ann"); task("owner with terminator", t, e); }
    {
        TaskSpec t = full;
        for (uint16_t i = 0; i < 24; ++i)
            t.props.setBinary(PropKey(0x6700 + i), QByteArray(2000, char('a' + i)));
        Expected e = fullE; e.spreadContext = true;
        task("context over a block tree", t, e);
    }
    for (int chars : {4000, 12000}) {
        TaskSpec t; t.status = 4;
        const QString longOwner = QString(chars, QChar(0xe9));
        t.owner = longOwner;
        Expected e; e.status = 4; e.owner = handedOut(format, longOwner); e.subnodes = true;
        task(chars == 4000 ? "owner in a subnode" : "owner in a subnode block tree", t, e);
    }
    { MessageSpec m; m.messageClass = QStringLiteral("IPM.Task"); m.subject = QStringLiteral("no task properties");
      out.append({"no task properties", m, Expected{}}); }
    { JournalSpec j; j.durationMinutes = 90; Expected e; e.duration = 90; journal("journal 90", j, e); }
    { JournalSpec j; journal("journal without duration", j, Expected{}); }
    return out;
}

struct Fixture {
    QString name;
    PstFormat format;
    PstEncryption encryption;
};

const Fixture kFixtures[] = {
    {QStringLiteral("unicode"), PstFormat::Unicode, PstEncryption::None},
    {QStringLiteral("unicode-compressible"), PstFormat::Unicode, PstEncryption::Compressible},
    {QStringLiteral("ansi"), PstFormat::Ansi, PstEncryption::None},
    {QStringLiteral("ansi-compressible"), PstFormat::Ansi, PstEncryption::Compressible},
};

}  // namespace

Q_DECLARE_METATYPE(Expected)

class TestExtraProperties : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenItems_data();
    void writtenItems();
    void enronEveryItem();
    void corruptBlocks_data();
    void corruptBlocks();

private:
    QTemporaryDir m_dir;
    QHash<QString, QList<MessageId>> m_ids;  // per fixture, in case order
};

void TestExtraProperties::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const Fixture& f : kFixtures) {
        PstWriter w(m_dir.filePath(f.name + QStringLiteral(".pst")), f.format, f.encryption);
        const FolderId folder = w.addFolder(w.ipmSubtree(), QStringLiteral("Tasks"), QStringLiteral("IPF.Task"));
        QList<MessageId>& ids = m_ids[f.name];
        for (const Case& c : cases(f.format))
            ids.append(w.addMessage(folder, c.message));
        QVERIFY2(w.finish(), qPrintable(w.errorString()));
    }
}

void TestExtraProperties::writtenItems_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<qulonglong>("id");
    QTest::addColumn<Expected>("expect");
    for (const Fixture& f : kFixtures) {
        const QList<Case> list = cases(f.format);
        for (qsizetype i = 0; i < list.size(); ++i)
            QTest::addRow("%s: %s", qPrintable(f.name), list[i].name) << f.name << qulonglong(m_ids[f.name][i]) << list[i].expect;
    }
}

void TestExtraProperties::writtenItems()
{
    QFETCH(QString, file);
    QFETCH(qulonglong, id);
    QFETCH(Expected, expect);
    PstFileHandle h = openPst(m_dir.filePath(file + QStringLiteral(".pst")));
    QVERIFY(h);
    pst_desc_tree* d = findNode(h.get(), id);
    QVERIFY(d && d->desc);
    if (expect.spreadContext)
        QVERIFY2(d->desc->i_id & 0x02, "the fixture's property context fits one block");
    if (expect.subnodes)
        QVERIFY2(d->assoc_tree, "the fixture's item has no subnodes");

    const PstExtraProperties got = pstReadExtraProperties(h.get(), d);
    QCOMPARE(got.journalDuration, expect.duration);
    QCOMPARE(got.task.has_value(), expect.task);
    if (!got.task)
        return;
    const PstTaskRecord& t = *got.task;
    auto asFiletime = [](const std::optional<FILETIME>& ft) -> std::optional<uint64_t> {
        if (!ft)
            return std::nullopt;
        return (uint64_t(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
    };
    auto expected = [](const std::optional<QDateTime>& dt) -> std::optional<uint64_t> {
        if (!dt)
            return std::nullopt;
        return toFiletime(*dt);
    };
    QCOMPARE(asFiletime(t.due), expected(expect.due));
    QCOMPARE(asFiletime(t.start), expected(expect.start));
    QCOMPARE(asFiletime(t.completed), expected(expect.completed));
    QCOMPARE(t.percentComplete, expect.percent);
    QCOMPARE(t.status, expect.status);
    QCOMPARE(t.actualEffort, expect.actual);
    QCOMPARE(t.estimatedEffort, expect.estimated);
    QCOMPARE(t.complete, expect.complete);
    QCOMPARE(t.owner, expect.owner);
}

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
        const char* asciiType = item->ascii_type;  // packed struct: copy, don't bind
        if (message && asciiType) {
            const auto cls = pstReadRawProperty(pf, d, 0x001A);
            QVERIFY(cls);
            QCOMPARE(decodedString(*cls), QString::fromUtf8(asciiType));
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
        const char* bodyText = item->body.str;
        if (bodyText && item->body.is_utf8) {
            const auto body = pstReadRawProperty(pf, d, 0x1000);
            QVERIFY(body);
            if (body->type == 0x001F) {
                QCOMPARE(decodedString(*body), QString::fromUtf8(bodyText));
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

void TestExtraProperties::corruptBlocks_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("hitsPerBlock");
    const QString sources[] = {enronPath(), m_dir.filePath(QStringLiteral("unicode.pst")),
                               m_dir.filePath(QStringLiteral("ansi-compressible.pst"))};
    for (const QString& source : sources) {
        for (quint32 seed = 1; seed <= 8; ++seed)
            QTest::addRow("%s seed %u", qPrintable(QFileInfo(source).fileName()), seed)
                << source << seed << int(1 + seed % 4 * 3);
    }
}

// Damaged blocks (headers, page maps, B-tree records, block lists, subnode
// lists) never crash the reader; null inputs give an empty result.
void TestExtraProperties::corruptBlocks()
{
    QFETCH(QString, source);
    QFETCH(quint32, seed);
    QFETCH(int, hitsPerBlock);
    QVERIFY2(QFile::exists(source), qPrintable(source + QStringLiteral(" missing")));
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("damaged.pst"));
    QVERIFY(QFile::copy(source, copy));
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
