// kill -9 at random points of our own writes never leaves a file that the
// next start trusts wrongly: the reader rejects what is left or reads back
// exactly what was written. Applied to the index cache (.pstidx) and the
// workspace file (pst_session.json); the search index gets a writer and a
// check of its own here.

#include "KillWriter.h"

#include "PstWriter.h"
#include "sorrel/shell/PstSession.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstIndexCache.h"
#include "sorrel/store/PstLibrary.h"

#include <QDir>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

// The index and descriptor tree of path as libpst reads them from the file.
struct Index {
    QByteArray table;  // i_table as bytes
    int descriptors = 0;
};

PstFileHandle openPst(const QString& path)
{
    PstFileHandle h = makePstFileHandle();
    if (pst_open(h.get(), QFile::encodeName(path).constData(), nullptr) != 0) {
        std::memset(h.get(), 0, sizeof(pst_file));
        return {};
    }
    return h;
}

Index indexOf(pst_file* pf)
{
    Index index;
    index.table = QByteArray(reinterpret_cast<const char*>(pf->i_table), qsizetype(pf->i_count * sizeof(pst_index_ll)));
    for (pst_desc_tree* d = pf->d_head; d; d = pst_getNextDptr(d))
        ++index.descriptors;
    return index;
}

// Writer: saves the index cache of the PST file args[0] again and again.
bool writeIndexCacheOnce(const QStringList& args)
{
    static PstFileHandle handle;
    QMutexLocker lock(&pstLibraryMutex());
    if (!handle) {
        handle = openPst(args.value(0));
        if (!handle || pst_load_index(handle.get()) != 0)
            return false;
    }
    return PstIndexCache::saveIndexCache(handle.get(), PstIndexCache::cachePathFor(args.value(0))) == 0;
}

// A workspace of a few hundred KiB, so kills land inside writes.
PstSession bigSession()
{
    PstSession s;
    for (int i = 0; i < 300; ++i)
        s.openFiles << QStringLiteral("/home/user/mail/archive %1/mailbox.pst").arg(i);
    for (int i = 0; i < 5000; ++i)
        s.expandedTreePaths << QStringLiteral("%2Fhome%2Fuser%2Fmail%2Farchive%20%1%2Fmailbox.pst|32802/%1").arg(i);
    s.currentTreePath = s.expandedTreePaths.last();
    s.searchText = QStringLiteral("needle");
    return s;
}

// Writer: saves the workspace args[0] again and again.
bool writeSessionOnce(const QStringList& args)
{
    static const PstSession session = bigSession();
    return pstsession::writeSession(args.value(0), session);
}

} // namespace

class TestKillWriter : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void indexCache()
    {
        // Enough mails for a cache of a few hundred KiB, so kills land inside writes.
        const QString pst = m_dir.filePath(QStringLiteral("many.pst"));
        {
            pstw::PstWriter w(pst);
            const pstw::FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
            for (int i = 0; i < 3000; ++i) {
                pstw::MessageSpec m;
                m.subject = QStringLiteral("mail %1").arg(i);
                m.body = QStringLiteral("body");
                w.addMessage(inbox, m);
            }
            QVERIFY(w.finish());
        }
        Index reference;
        {
            PstFileHandle h = openPst(pst);
            QVERIFY(h);
            QCOMPARE(pst_load_index(h.get()), 0);
            reference = indexOf(h.get());
        }
        const QString cache = PstIndexCache::cachePathFor(pst);
        int trusted = 0, rejected = 0;
        const int killed = killwriter::killRounds(QStringLiteral("index-cache"), {pst}, 40, 11, 40, [&](int round) {
            PstFileHandle h = openPst(pst);
            QVERIFY(h);
            QMutexLocker lock(&pstLibraryMutex());
            if (PstIndexCache::loadIndexCache(h.get(), cache) != 0) {
                ++rejected;
                return;
            }
            ++trusted;
            const Index got = indexOf(h.get());
            pstForgetDescriptors(h.get());
            QVERIFY2(got.table == reference.table, qPrintable(QStringLiteral("round %1: index differs").arg(round)));
            QCOMPARE(got.descriptors, reference.descriptors);
        });
        qInfo("index cache: %d rounds killed, %d caches trusted and exact, %d rejected", killed, trusted, rejected);
        QVERIFY(killed > 0);
    }

    void sessionFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("config/pst_session.json"));
        const PstSession written = bigSession();
        int exact = 0;
        const int killed = killwriter::killRounds(QStringLiteral("session"), {path}, 40, 12, 40, [&](int round) {
            // The writer wrote once before it could be killed: a whole file is always there.
            QVERIFY2(pstsession::readSession(path) == written,
                     qPrintable(QStringLiteral("round %1: the workspace read back differs").arg(round)));
            ++exact;
        });
        qInfo("session file: %d rounds killed, %d read back exactly", killed, exact);
        QVERIFY(killed > 0);
    }
};

int main(int argc, char** argv)
{
    if (int code = 0; killwriter::runWriterIfAsked(argc, argv, {{QStringLiteral("index-cache"), writeIndexCacheOnce}, {QStringLiteral("session"), writeSessionOnce}}, code))
        return code;
    QCoreApplication app(argc, argv);
    TestKillWriter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killwriter.moc"
