// The index cache reader. The input is a cache file from its entry count on;
// the header before it is made to match a small PST file written at start,
// so the reader gets past the staleness checks to the tables.
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstIndexCache.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace {

QString g_pst;
QString g_cache;

// The smallest file pst_open accepts: a Unicode header with its root.
QByteArray minimalPst()
{
    QByteArray h(4096, '\0');
    std::memcpy(h.data(), "!BDN", 4);
    qToLittleEndian<quint16>(0x4D53, h.data() + 8);   // wMagicClient "SM"
    qToLittleEndian<quint16>(23, h.data() + 10);      // Unicode
    qToLittleEndian<quint16>(19, h.data() + 12);
    h[14] = 1;
    h[15] = 1;
    qToLittleEndian<quint64>(4096, h.data() + 184);   // ibFileEof
    h[513] = 0;                                       // bCryptMethod: none
    return h;
}

void writeHeader(QByteArray& out, const pst_file& pf)
{
    const QFileInfo info(g_pst);
    out.append("PSTIDX01", 8);
    char buf[8];
    qToLittleEndian<quint32>(1, buf);
    out.append(buf, 4);
    for (qint64 v : {info.size(), info.lastModified().toSecsSinceEpoch(), qint64(pf.index1), qint64(pf.index2),
                     qint64(pf.index1_back), qint64(pf.index2_back)}) {
        qToLittleEndian<qint64>(v, buf);
        out.append(buf, 8);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/fuzz_indexcache");
    QDir().mkpath(dir);
    g_pst = dir + QStringLiteral("/minimal.pst");
    g_cache = dir + QStringLiteral("/minimal.pstidx");
    QFile f(g_pst);
    if (f.open(QIODevice::WriteOnly))
        f.write(minimalPst());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pst_file pf;
    std::memset(&pf, 0, sizeof pf);
    if (pst_open(&pf, QFile::encodeName(g_pst).constData(), nullptr) != 0)
        return 0;
    QByteArray cache;
    writeHeader(cache, pf);
    cache.append(reinterpret_cast<const char*>(data), qsizetype(size));
    QFile f(g_cache);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(cache);
        f.close();
        if (PstIndexCache::loadIndexCache(&pf, g_cache) == 0)
            pstForgetDescriptors(&pf);
    }
    pst_close(&pf);
    return 0;
}
