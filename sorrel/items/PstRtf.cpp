#include "sorrel/items/PstRtf.h"

#include <libpst/libpst.h>
extern "C" {
#include <libpst/lzfu.h>  // a C header without its own linkage block
}

#include <QHash>
#include <QList>
#include <QSet>
#include <QTextCodec>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace PstRtf {

namespace {

constexpr uint32_t kCompressed = 0x75465A4C;    // "LZFu"
constexpr uint32_t kUncompressed = 0x414C454D;  // "MELA"
constexpr size_t kHeaderBytes = 16;  // compressed size, raw size, type, CRC

uint32_t le32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// ------------------------------------------------------------ code pages

// The code page of a font's \fcharset; 0 for "the document's".
int codePageOfCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 2: return 1252;  // symbol fonts: their bytes as they are
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
    }
}

QTextCodec* codecFor(int codePage)
{
    switch (codePage) {
    case 932: return QTextCodec::codecForName("Shift_JIS");
    case 936: return QTextCodec::codecForName("GBK");
    case 949: return QTextCodec::codecForName("windows-949");
    case 950: return QTextCodec::codecForName("Big5");
    case 10000: return QTextCodec::codecForName("macintosh");
    case 65001: return QTextCodec::codecForName("UTF-8");
    default: break;
    }
    const QByteArray number = QByteArray::number(codePage);
    for (const QByteArray& name : {"windows-" + number, "CP" + number, "IBM" + number}) {
        if (QTextCodec* codec = QTextCodec::codecForName(name))
            return codec;
    }
    return nullptr;
}

// ------------------------------------------------------------ the reader

enum class Destination {
    Text,       // the document's text
    Skip,       // a destination that is not text (pictures, tables of the header, ...)
    FontTable,  // \fonttbl: its entries set the fonts' code pages
    HtmlTag,    // {\*\htmltag ...}: encapsulated HTML
};

struct Group {
    Destination destination = Destination::Text;
    bool htmlRtf = false;  // \htmlrtf: RTF that was not in the encapsulated HTML
    int font = -1;         // \fN; -1 for the default font
    int unicodeSkip = 1;   // \ucN: fallback characters after each \uN
};

// Destinations whose content is not the document's text.
bool isSkippedDestination(const QByteArray& word)
{
    static const QSet<QByteArray> words = {
        "colortbl", "stylesheet", "info",    "pict",      "object",  "header",   "headerl",   "headerr",
        "headerf",  "footer",     "footerl", "footerr",   "footerf", "footnote", "fldinst",   "themedata",
        "xmlnstbl", "listtable",  "rsidtbl", "generator", "filetbl", "revtbl",   "latentstyles",
        "datastore", "listoverridetable", "colorschememapping", "mmathPr", "pgdsctbl", "userprops",
        "docvar",   "nonshppict", "shpinst", "bkmkstart", "bkmkend", "template", "xe",       "tc",
    };
    return words.contains(word);
}

class Reader {
public:
    explicit Reader(QByteArrayView rtf) : m_in(rtf) {}

    Body read()
    {
        Body body;
        qsizetype start = 0;
        while (start < m_in.size() && isSpace(m_in[start]))
            ++start;
        if (!m_in.sliced(start).startsWith("{\\rtf"))
            return body;
        m_pos = start;
        run();
        flushBytes();
        body.html = m_html;
        body.text = m_out;
        return body;
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    Group& group() { return m_groups.last(); }

    bool full() const { return m_out.size() + m_bytes.size() >= kMaxTextChars; }

    void run()
    {
        while (m_pos < m_in.size() && !m_done && !full()) {
            const char c = m_in[m_pos++];
            if (c == '{')
                openGroup();
            else if (c == '}')
                closeGroup();
            else if (c == '\\')
                control();
            else if (c != '\r' && c != '\n' && c != '\0')
                textByte(uchar(c));
        }
    }

    void openGroup()
    {
        m_unicodeSkip = 0;
        m_ignorable = false;
        if (m_groups.size() >= kMaxDepth) {
            ++m_overflow;
            return;
        }
        // The first group is the document itself.
        m_groups.append(m_groups.isEmpty() ? Group() : m_groups.last());
    }

    void closeGroup()
    {
        m_unicodeSkip = 0;
        m_ignorable = false;
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (!m_groups.isEmpty())
            m_groups.removeLast();
        if (m_groups.isEmpty())
            m_done = true;  // the document's group has ended
    }

    // A group deeper than the bound, or one that shows nothing.
    bool silent()
    {
        if (m_overflow > 0 || m_groups.isEmpty())
            return true;
        const Group& g = group();
        if (g.destination == Destination::Skip || g.destination == Destination::FontTable)
            return true;
        if (!m_html)
            return false;
        // Encapsulated HTML: the HTML tags' content, and text that is not
        // marked as RTF only.
        return g.destination != Destination::HtmlTag && g.htmlRtf;
    }

    // A fallback character of \uN is skipped instead of read.
    bool skippedAsFallback()
    {
        if (m_unicodeSkip <= 0)
            return false;
        --m_unicodeSkip;
        return true;
    }

    void control()
    {
        if (m_pos >= m_in.size())
            return;
        const char c = m_in[m_pos];
        if (!isLetter(c)) {
            ++m_pos;
            symbol(c);
            return;
        }
        const qsizetype wordStart = m_pos;
        while (m_pos < m_in.size() && isLetter(m_in[m_pos]) && m_pos - wordStart < 32)
            ++m_pos;
        const QByteArray word = m_in.sliced(wordStart, m_pos - wordStart).toByteArray();
        bool hasParam = false;
        bool negative = false;
        qint64 param = 0;
        if (m_pos < m_in.size() && m_in[m_pos] == '-' && m_pos + 1 < m_in.size() && isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        const qsizetype digitsStart = m_pos;
        while (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
            if (m_pos - digitsStart < 10)
                param = param * 10 + (m_in[m_pos] - '0');
            ++m_pos;
            hasParam = true;
        }
        if (negative)
            param = -param;
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;  // the delimiter belongs to the word
        controlWord(word, hasParam, int(std::clamp<qint64>(param, INT32_MIN, INT32_MAX)));
    }

    void symbol(char c)
    {
        if (c == '\'') {
            // \'hh: one byte of text in the current code page.
            if (m_pos + 2 > m_in.size()) {
                m_pos = m_in.size();  // cut short: the document ends here
                return;
            }
            bool ok = false;
            const int value = m_in.sliced(m_pos, 2).toByteArray().toInt(&ok, 16);
            m_pos += 2;
            if (ok)
                textByte(uchar(value));
            return;
        }
        if (c == '*') {
            m_ignorable = true;
            return;
        }
        if (skippedAsFallback())
            return;
        switch (c) {
        case '\\': case '{': case '}': textChar(QLatin1Char(c)); break;
        case '~': textChar(QChar(0x00A0)); break;
        case '_': textChar(QLatin1Char('-')); break;
        case '\r': case '\n': lineBreak(); break;
        case '\t': textChar(QLatin1Char('\t')); break;
        default: break;  // \- (optional hyphen), \: (subentry) and the like
        }
    }

    void controlWord(const QByteArray& word, bool hasParam, int param)
    {
        const bool ignorable = m_ignorable;
        m_ignorable = false;
        if (m_overflow > 0 || m_groups.isEmpty())
            return;
        Group& g = group();

        // Destinations.
        if (word == "fonttbl") {
            g.destination = Destination::FontTable;
            return;
        }
        if (word == "htmltag" && ignorable && m_html) {
            if (g.destination != Destination::Skip)
                g.destination = Destination::HtmlTag;
            return;
        }
        if (ignorable || isSkippedDestination(word)) {
            g.destination = Destination::Skip;
            return;
        }
        if (word == "bin") {
            // Binary data of param bytes follows; never text.
            if (hasParam && param > 0)
                m_pos = std::min(m_in.size(), m_pos + qsizetype(param));
            return;
        }

        // The document's and the fonts' code pages.
        if (g.destination == Destination::FontTable) {
            if (word == "f")
                m_fontDefined = param;
            else if (word == "fcharset" && codePageOfCharset(param))
                m_fontCodePages.insert(m_fontDefined, codePageOfCharset(param));
            else if (word == "cpg" && param > 0)
                m_fontCodePages.insert(m_fontDefined, param);
            return;
        }
        if (word == "ansicpg" && param > 0) {
            m_codePage = param;
            return;
        }
        if (word == "mac" || word == "pc" || word == "pca") {
            m_codePage = word == "mac" ? 10000 : word == "pc" ? 437 : 850;
            return;
        }
        if (word == "deff") {
            m_defaultFont = param;
            return;
        }
        if (word == "f") {
            g.font = param;
            return;
        }
        if (word == "plain") {
            g.font = -1;
            return;
        }
        if (word == "uc") {
            g.unicodeSkip = std::clamp(param, 0, 10);
            return;
        }
        if (word == "fromhtml") {
            // Only in the header, before any text.
            if (m_groups.size() == 1 && m_out.isEmpty() && m_bytes.isEmpty())
                m_html = !hasParam || param != 0;
            return;
        }
        if (word == "htmlrtf") {
            g.htmlRtf = !hasParam || param != 0;
            return;
        }

        // Words that stand for text.
        if (word == "u") {
            if (!silent()) {
                const int code = param < 0 ? param + 65536 : param;
                textChar(QChar(char16_t(code & 0xFFFF)));
            }
            m_unicodeSkip = g.unicodeSkip;
            return;
        }
        if (skippedAsFallback())
            return;
        static const QHash<QByteArray, char16_t> characters = {
            {"tab", u'\t'},       {"cell", u'\t'},       {"emdash", 0x2014},  {"endash", 0x2013},
            {"emspace", 0x2003},  {"enspace", 0x2002},   {"qmspace", 0x2005}, {"bullet", 0x2022},
            {"lquote", 0x2018},   {"rquote", 0x2019},    {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
        };
        if (word == "par" || word == "line" || word == "row" || word == "sect" || word == "page") {
            lineBreak();
        } else if (auto it = characters.constFind(word); it != characters.cend()) {
            textChar(QChar(it.value()));
        }
    }

    void lineBreak()
    {
        if (!silent())
            appendText(QStringLiteral("\r\n"));
    }

    void textChar(QChar c)
    {
        if (!silent())
            appendText(QString(c));
    }

    void textByte(uchar b)
    {
        if (skippedAsFallback() || silent())
            return;
        const int codePage = currentCodePage();
        if (codePage != m_bytesCodePage)
            flushBytes();
        m_bytesCodePage = codePage;
        m_bytes.append(char(b));
    }

    // Inside encapsulated HTML tags the document's code page holds,
    // elsewhere the current font's.
    int currentCodePage()
    {
        const Group& g = group();
        if (g.destination != Destination::HtmlTag) {
            const int font = g.font >= 0 ? g.font : m_defaultFont;
            if (const int cp = m_fontCodePages.value(font, 0))
                return cp;
        }
        return m_codePage;
    }

    void appendText(const QString& text)
    {
        flushBytes();
        m_out += text;
    }

    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        auto it = m_codecs.constFind(m_bytesCodePage);
        if (it == m_codecs.cend())
            it = m_codecs.insert(m_bytesCodePage, codecFor(m_bytesCodePage));
        m_out += it.value() ? it.value()->toUnicode(m_bytes) : QString::fromLatin1(m_bytes);
        m_bytes.clear();
    }

    QByteArrayView m_in;
    qsizetype m_pos = 0;
    QList<Group> m_groups;
    int m_overflow = 0;     // groups opened beyond kMaxDepth and not yet closed
    bool m_done = false;
    bool m_ignorable = false;  // "\*" came: the next word names a destination to skip unless known
    int m_unicodeSkip = 0;
    bool m_html = false;
    int m_codePage = 1252;
    int m_defaultFont = -1;
    int m_fontDefined = -1;
    QHash<int, int> m_fontCodePages;
    QHash<int, QTextCodec*> m_codecs;
    QByteArray m_bytes;  // text bytes not yet decoded, all in m_bytesCodePage (a
                         // double-byte character's two bytes must decode together)
    int m_bytesCodePage = 1252;
    QString m_out;
};

} // namespace

QByteArray decompress(const char* data, size_t size)
{
    if (!data || size < kHeaderBytes)
        return {};
    const uint32_t compressedSize = le32(data);
    const uint32_t rawSize = le32(data + 4);
    const uint32_t type = le32(data + 8);
    if (rawSize > uint32_t(kMaxRtfBytes))
        return {};
    if (type == kUncompressed)
        return QByteArray(data + kHeaderBytes, qsizetype(std::min<size_t>(rawSize, size - kHeaderBytes)));
    // The compressed size counts from after its own four bytes.
    if (type != kCompressed || compressedSize < kHeaderBytes - 4 || compressedSize > size - 4)
        return {};
    size_t outSize = 0;
    char* out = pst_lzfu_decompress(const_cast<char*>(data), compressedSize + 4, &outSize);
    QByteArray rtf;
    if (out)
        rtf = QByteArray(out, qsizetype(std::min<size_t>(outSize, rawSize)));
    std::free(out);
    return rtf;
}

Body toBody(QByteArrayView rtf)
{
    return Reader(rtf).read();
}

} // namespace PstRtf
