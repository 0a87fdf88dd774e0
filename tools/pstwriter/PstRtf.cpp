// Compressed RTF ("LZFu"): a 4 KB sliding dictionary that starts with a
// fixed prefix; a control byte announces eight literal bytes or references.
#include "PstNdb.h"
#include "PstWriter.h"

#include <cstring>

namespace pstw {

QByteArray compressRtf(const QByteArray &rtf)
{
    static const char kPrefix[] =
        "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
        "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
        "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
    const int prefixLen = int(sizeof(kPrefix) - 1);
    unsigned char dict[4096];
    std::memset(dict, 0, sizeof dict);
    std::memcpy(dict, kPrefix, size_t(prefixLen));
    int writePos = prefixLen;
    int filled = prefixLen;

    const auto *in = reinterpret_cast<const unsigned char *>(rtf.constData());
    const int n = int(rtf.size());
    QByteArray out;
    int i = 0;
    bool ended = false;
    while (!ended) {
        const int ctrlAt = int(out.size());
        out.append('\0');
        unsigned char ctrl = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (i >= n) {
                // End marker: a reference to the current write position.
                ctrl |= uint8_t(1 << bit);
                out.append(char((writePos >> 4) & 0xFF));
                out.append(char((writePos & 0x0F) << 4));
                ended = true;
                break;
            }
            int bestLen = 0, bestOff = 0;
            const int maxLen = std::min(17, n - i);
            if (maxLen >= 2) {
                for (int off = 0; off < filled; ++off) {
                    int len = 0;
                    while (len < maxLen) {
                        const int src = (off + len) % 4096;
                        // Never read a slot this reference itself overwrites.
                        const int rel = (src - writePos + 4096) % 4096;
                        if (rel < maxLen || dict[src] != in[i + len])
                            break;
                        ++len;
                    }
                    if (len > bestLen) {
                        bestLen = len;
                        bestOff = off;
                        if (len == maxLen)
                            break;
                    }
                }
            }
            int take = 1;
            if (bestLen >= 2) {
                ctrl |= uint8_t(1 << bit);
                const int v = (bestOff << 4) | (bestLen - 2);
                out.append(char((v >> 8) & 0xFF));
                out.append(char(v & 0xFF));
                take = bestLen;
            } else {
                out.append(char(in[i]));
            }
            for (int k = 0; k < take; ++k) {
                dict[writePos] = in[i + k];
                writePos = (writePos + 1) % 4096;
                if (filled < 4096)
                    ++filled;
            }
            i += take;
        }
        out[ctrlAt] = char(ctrl);
    }
    QByteArray h;
    detail::put32(h, uint32_t(out.size() + 12));
    detail::put32(h, uint32_t(n));
    detail::put32(h, 0x75465A4C);
    detail::put32(h, detail::pstCrc(out.constData(), size_t(out.size())));
    return h + out;
}

} // namespace pstw
