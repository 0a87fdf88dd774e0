// The HTML-to-text conversion of mail bodies (search text) and the tag
// stripping beside it, on arbitrary UTF-8.
#include "sorrel/items/PstMailItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString html = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    PstMailItem::htmlToText(html);
    PstMailItem::stripTags(html);
    return 0;
}
