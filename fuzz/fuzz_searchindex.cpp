// The search index reader. The input is an index file from its payload
// size on; the magic, version and key before it are made to match, so the
// reader gets past the staleness checks to the sizes, the compressed block
// and the records, which are kept the way the search keeps them.
#include "sorrel/search/PstSearch.h"
#include "sorrel/search/PstSearchIndex.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QtEndian>

namespace {

QString g_path;
const SearchIndexKey kKey{4096, 1700000000, 1, 2, 3, 4};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/fuzz_searchindex");
    QDir().mkpath(dir);
    g_path = dir + QStringLiteral("/input.pstsrch");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray file("PSTSRCH1", 8);
    char buf[8];
    qToBigEndian<qint32>(3, buf);
    file.append(buf, 4);
    for (qint64 v : {kKey.fileSize, kKey.modifiedSecs, kKey.index1, kKey.index2, kKey.index1Back, kKey.index2Back}) {
        qToBigEndian<qint64>(v, buf);
        file.append(buf, 8);
    }
    file.append(reinterpret_cast<const char*>(data), qsizetype(size));
    QFile f(g_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(file);
    f.close();
    PstSearchFileRecords records;
    readSearchIndex(g_path, kKey, [&records](PstSearchRecord&& r) { records.append(r); });
    return 0;
}
