// Bodies kept as compressed RTF: the header checks and libpst's
// decompression on the input taken as a PR_RTF_COMPRESSED value, and the RTF
// reader on the input taken as RTF text.
#include "sorrel/items/PstRtf.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    PstRtf::toBody(PstRtf::decompress(bytes, size));
    PstRtf::toBody(QByteArrayView(bytes, qsizetype(size)));
    return 0;
}
