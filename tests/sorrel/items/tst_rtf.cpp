// The RTF reader and the compressed-RTF header checks: control words and
// groups, code pages, Unicode with fallbacks, skipped destinations, line
// breaks, encapsulated HTML, and damaged or hostile input.

#include "sorrel/items/PstRtf.h"

#include "PstWriter.h"

#include <QtTest>

namespace {

void put32(QByteArray& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray header(uint32_t compressedSize, uint32_t rawSize, uint32_t type)
{
    QByteArray b;
    put32(b, compressedSize);
    put32(b, rawSize);
    put32(b, type);
    put32(b, 0);
    return b;
}

} // namespace

class TestRtf : public QObject {
    Q_OBJECT
private slots:
    void plainText_data();
    void plainText();
    void encapsulatedHtml();
    void hostileInput();
    void decompression();
};

void TestRtf::plainText_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("words, groups, escapes")
        << QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20 Hello {\\b bold}\\b0  "
                      "\\{x\\} \\\\ end}")
        << "Hello bold {x} \\ end";
    QTest::newRow("par, line, tab, cell and row")
        << QByteArray("{\\rtf1 a\\par b\\line c\\tab d\\cell e\\row\r\nf\\\nafter}")
        << "a\r\nb\r\nc\td\te\r\nf\r\nafter";
    QTest::newRow("special characters")
        << QByteArray("{\\rtf1 \\lquote a\\rquote  \\ldblquote b\\rdblquote  c\\emdash d\\endash e\\~f\\bullet}")
        << QString::fromUtf8("‘a’ “b” c—d–e\u00A0f•");
    QTest::newRow("hex bytes in the document's code page")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}") << QString::fromUtf8("Привет");
    QTest::newRow("hex bytes in the font's charset")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fnil\\fcharset134 SimSun;}}"
                      "\\f0 caf\\'e9 {\\f1 \\'c4\\'e3\\'ba\\'c3} caf\\'e9}")
        << QString::fromUtf8("café 你好 café");
    QTest::newRow("unicode with its fallback")
        << QByteArray("{\\rtf1\\uc1 caf\\u233?s \\uc2\\u8364\\'80\\'80 {\\uc0\\u8364}x \\u-10179?\\u-8704?}")
        << QString::fromUtf8("cafés € €x 😀");
    QTest::newRow("a group ends the fallback") << QByteArray("{\\rtf1\\uc3 {\\u233}x}") << QString::fromUtf8("éx");
    QTest::newRow("destinations skipped")
        << QByteArray("{\\rtf1{\\info{\\title Secret}}{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Word;}"
                      "{\\stylesheet{\\s0 Normal;}}{\\pict\\pngblip 89504e47}{\\*\\unknowndest hidden}"
                      "{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}} after}")
        << "link after";
    QTest::newRow("binary data") << QByteArray("{\\rtf1 x\\bin4 {}\\' y}") << "x y";
    QTest::newRow("encapsulated text") << QByteArray("{\\rtf1\\ansi\\fromtext \\deff0 plain\\par text}")
                                       << "plain\r\ntext";
    QTest::newRow("fromhtml after text is no encapsulation")
        << QByteArray("{\\rtf1 a{\\*\\htmltag <b>}\\fromhtml1 b}") << "ab";
    QTest::newRow("text after the document ends") << QByteArray("{\\rtf1 in}out") << "in";
    QTest::newRow("not RTF") << QByteArray("Hello") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestRtf::plainText()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    const PstRtf::Body body = PstRtf::toBody(rtf);
    QVERIFY(!body.html);
    QCOMPARE(body.text, text);
}

void TestRtf::encapsulatedHtml()
{
    // As Outlook writes it: HTML tags in htmltag groups, text between them,
    // RTF-only formatting between \htmlrtf and \htmlrtf0.
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fmodern Courier New;}"
        "{\\f1\\fswiss\\fcharset0 Arial;}}{\\colortbl\\red0\\green0\\blue0;}\r\n"
        "{\\*\\htmltag64}\\uc1\\pard\\plain\\deftab360 \\f0\\fs24\r\n"
        "{\\*\\htmltag <html><head>\\par\r\n<style>p \\{color:red\\}</style>\\par\r\n</head><body>\\par\r\n<p>}\r\n"
        "{\\htmlrtf \\f1 \\htmlrtf0 Hello {\\*\\htmltag84 <b>}{\\htmlrtf \\b \\htmlrtf0 bold{\\*\\htmltag92 </b>}} "
        "\\htmlrtf\\par\\htmlrtf0}\r\n"
        "{\\*\\htmltag84 &nbsp;}\\htmlrtf \\'a0\\htmlrtf0 {\\*\\htmltag <span>\\'cf\\u8364?</span>}"
        "{\\*\\htmltag <br>\\par}\\htmlrtf\\line\\htmlrtf0\r\n"
        "{\\*\\htmltag </p></body></html>}}";
    const PstRtf::Body body = PstRtf::toBody(rtf);
    QVERIFY(body.html);
    QCOMPARE(body.text, QString::fromUtf8("<html><head>\r\n<style>p {color:red}</style>\r\n</head><body>\r\n<p>"
                                          "Hello <b>bold</b> &nbsp;<span>П€</span><br>\r\n</p></body></html>"));
}

void TestRtf::hostileInput()
{
    // Nesting far beyond the bound: the deep content is skipped, the rest read.
    const int depth = 100000;
    QByteArray deep = "{\\rtf1 start " + QByteArray(depth, '{') + "deep" + QByteArray(depth, '}') + " end}";
    QCOMPARE(PstRtf::toBody(deep).text, QStringLiteral("start  end"));
    // Unbalanced, cut short, absurd numbers.
    QCOMPARE(PstRtf::toBody("{\\rtf1 abc").text, QStringLiteral("abc"));
    QCOMPARE(PstRtf::toBody("{\\rtf1 abc\\").text, QStringLiteral("abc"));
    QCOMPARE(PstRtf::toBody("{\\rtf1 abc\\'4").text, QStringLiteral("abc"));
    QCOMPARE(PstRtf::toBody("{\\rtf1 a}}}}b").text, QStringLiteral("a"));
    QCOMPARE(PstRtf::toBody("{\\rtf1 a\\bin99999999999999 bcd}").text, QStringLiteral("a"));
    QCOMPARE(PstRtf::toBody("{\\rtf1 a\\u99999999999999?b\\uc99999999 \\u65 cdef}").text.size(), 4);  // a, the clamped character, b, A
    QCOMPARE(PstRtf::toBody("{\\rtf1\\ansicpg99999 \\'e9\\f-5 x}").text.size(), 2);
    // The output stops at its bound.
    QByteArray many = "{\\rtf1 " + QByteArray(PstRtf::kMaxTextChars + 10, 'x') + "}";
    QCOMPARE(PstRtf::toBody(many).text.size(), PstRtf::kMaxTextChars);
}

void TestRtf::decompression()
{
    const QByteArray rtf = "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Arial;}} \\f0 Hello \\par Hello again.}";
    const QByteArray compressed = pstw::compressRtf(rtf);
    QCOMPARE(PstRtf::decompress(compressed.constData(), size_t(compressed.size())), rtf);
    // Stored uncompressed ("MELA").
    const QByteArray stored = header(uint32_t(rtf.size() + 12), uint32_t(rtf.size()), 0x414C454D) + rtf;
    QCOMPARE(PstRtf::decompress(stored.constData(), size_t(stored.size())), rtf);

    // Damaged headers are refused before libpst sees them.
    const QByteArray tooLarge = header(uint32_t(compressed.size() - 4), uint32_t(PstRtf::kMaxRtfBytes) + 1, 0x75465A4C)
                                + compressed.mid(16);
    const QByteArray unknownType = header(uint32_t(compressed.size() - 4), uint32_t(rtf.size()), 0x12345678)
                                   + compressed.mid(16);
    const QByteArray longerThanData = header(uint32_t(compressed.size() + 100), uint32_t(rtf.size()), 0x75465A4C)
                                      + compressed.mid(16);
    for (const QByteArray& damaged : {tooLarge, unknownType, longerThanData, compressed.left(15), QByteArray()})
        QVERIFY(PstRtf::decompress(damaged.constData(), size_t(damaged.size())).isEmpty());
    QVERIFY(PstRtf::decompress(nullptr, 100).isEmpty());
    // A raw size smaller than the data holds cuts the text there.
    QByteArray shortRaw = compressed;
    shortRaw.replace(4, 4, header(5, 0, 0).left(4));
    QCOMPARE(PstRtf::decompress(shortRaw.constData(), size_t(shortRaw.size())), rtf.left(5));
}

QTEST_GUILESS_MAIN(TestRtf)
#include "tst_rtf.moc"
