// The workspace file reader. Whatever the bytes, reading gives a record, and
// what is saved from it reads back as the same record on every later start
// (after the first save, which may normalise text JSON cannot hold).
#include "sorrel/shell/PstSession.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const PstSession read =
        pstsession::parseSession(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    const PstSession saved = pstsession::parseSession(pstsession::serializeSession(read));
    if (saved.openFiles.size() > read.openFiles.size()
        || pstsession::parseSession(pstsession::serializeSession(saved)) != saved)
        std::abort();
    return 0;
}
