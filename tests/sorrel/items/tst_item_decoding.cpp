// The string and HTML decoding rules and the date helpers, fed with raw bytes.

#include "sorrel/items/PstTextDecoding.h"

#include <QtTest>

namespace {
pst_string bytes(const QByteArray& b, int isUtf8 = 0)
{
    return pst_string{isUtf8, const_cast<char*>(b.constData())};
}
FILETIME ft(uint64_t v)
{
    return FILETIME{uint32_t(v & 0xFFFFFFFFu), uint32_t(v >> 32)};
}
} // namespace

class TestItemDecoding : public QObject {
    Q_OBJECT
private slots:
    void text_data();
    void text();
    void nullStrings();
    void gb18030Form_data();
    void gb18030Form();
    void html_data();
    void html();
    void filetimes();
    void zones_data();
    void zones();
    void dateTexts();
};

void TestItemDecoding::text_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("isUtf8");
    QTest::addColumn<QString>("expected");
    QTest::newRow("utf8 without flag") << QByteArray("Gr\xC3\xBC\xC3\x9F" "e") << 0 << QString::fromUtf8("Grüße");
    QTest::newRow("gbk without flag") << QByteArray("\xD6\xD0\xCE\xC4\xD6\xF7\xCC\xE2") << 0
                                      << QString::fromUtf8("中文主题");
    QTest::newRow("cp1252 trailing accent") << QByteArray("caf\xE9") << 0 << QString::fromUtf8("café");
    QTest::newRow("cp1252 quotes") << QByteArray("\x93quoted\x94 \x80") << 0 << QString::fromUtf8("“quoted” €");
    // High bytes that all pair up as two-byte GB18030 win over Windows-1252.
    QTest::newRow("pairs read as gb") << QByteArray("\xC4\xE3\xBA\xC3") << 0 << QString::fromUtf8("你好");
    QTest::newRow("four-byte gb18030") << QByteArray("a\x81\x30\x81\x30") << 0 << QString::fromUtf8("a\xC2\x80");
    QTest::newRow("flagged invalid utf8") << QByteArray("ok\xFF") << 1 << QString::fromUtf8("ok\xEF\xBF\xBD");
    QTest::newRow("empty") << QByteArray("") << 0 << QString();
}

void TestItemDecoding::text()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, isUtf8);
    QFETCH(QString, expected);
    QCOMPARE(decodeText(nullptr, bytes(raw, isUtf8)), expected);
}

void TestItemDecoding::nullStrings()
{
    const pst_string none{0, nullptr};
    QVERIFY(decodeText(nullptr, none).isNull());
    QVERIFY(decodeHtml(nullptr, none).isNull());
    QVERIFY(guessEightBit(none).isNull());
}

void TestItemDecoding::gb18030Form_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("gb");
    QTest::newRow("ascii only") << QByteArray("plain") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("lead without trail") << QByteArray("caf\xE9") << false;
    QTest::newRow("trail 0x7f") << QByteArray("\x81\x7F") << false;
    QTest::newRow("lead 0x80") << QByteArray("\x80\x40") << false;
    QTest::newRow("two-byte") << QByteArray("x\x81\x40y") << true;
    QTest::newRow("four-byte") << QByteArray("\x81\x30\xFE\x39") << true;
    QTest::newRow("trailing lone lead") << QByteArray("\xC4\xE3\xBA") << false;
}

void TestItemDecoding::gb18030Form()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, gb);
    QCOMPARE(looksLikeGb18030(raw.constData()), gb);
}

void TestItemDecoding::html_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("mustContain");
    QTest::addColumn<QString>("mustNotContain");
    QTest::newRow("utf8 despite declaration")
        << QByteArray("<html><head><meta charset=\"gb2312\"></head><body>\xE4\xBD\xA0</body></html>")
        << QString::fromUtf8("<body>你</body>") << QString();
    QTest::newRow("gb2312 meta")
        << QByteArray("<html><head><meta charset=\"gb2312\"></head><body>\xC4\xE3\xBA\xC3</body></html>")
        << QString::fromUtf8("你好") << QString();
    QTest::newRow("gbk http-equiv")
        << QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GBK\"><p>\x81\x40</p>")
        << QString::fromUtf8("<p>丂</p>") << QString();
    QTest::newRow("windows-1252 meta")
        << QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">caf\xE9")
        << QString::fromUtf8("café") << QString();
    // No declaration: lenient UTF-8, never Latin-1.
    QTest::newRow("undeclared") << QByteArray("<p>caf\xE9</p>") << QString::fromUtf8("caf\xEF\xBF\xBD")
                                << QString::fromUtf8("café");
}

void TestItemDecoding::html()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, mustContain);
    QFETCH(QString, mustNotContain);
    const QString out = decodeHtml(nullptr, bytes(raw));
    QVERIFY2(out.contains(mustContain), qPrintable(out));
    if (!mustNotContain.isEmpty())
        QVERIFY2(!out.contains(mustNotContain), qPrintable(out));
}

void TestItemDecoding::filetimes()
{
    FILETIME epoch = ft(116444736000000000ULL);
    FILETIME zero = ft(0);
    FILETIME later = ft(116444736000000000ULL + 15 * 10000000ULL + 9999999ULL);
    QCOMPARE(filetimeToSeconds(&epoch), qint64(0));
    QCOMPARE(filetimeToSeconds(&zero), qint64(-11644473600LL));
    QCOMPARE(filetimeToSeconds(&later), qint64(15));  // truncated, not rounded
    QCOMPARE(filetimeToSeconds(nullptr), qint64(0));
    QVERIFY(filetimeText(nullptr).isEmpty());
    QCOMPARE(filetimeText(&epoch), QStringLiteral("Jan 01, 1970 at 12:00 AM"));

    // Dates that are not set: no value, 0, and Outlook's "none" of 4501-01-01.
    FILETIME none = ft(0x0CB34557A3DD4000ULL), lastReal = ft(0x0CB34557A3DD4000ULL - 1);
    QVERIFY(!filetimeIsSet(nullptr) && !filetimeIsSet(&zero) && !filetimeIsSet(&none));
    QVERIFY(filetimeIsSet(&epoch) && filetimeIsSet(&lastReal));
    QVERIFY(filetimeText(&zero).isEmpty() && filetimeText(&none).isEmpty());
    QVERIFY(optionalDateText(0, kDetailDateFormat).isEmpty());
    QCOMPARE(optionalDateText(15, kDetailDateFormat), QStringLiteral("Jan 01, 1970 at 12:00 AM"));
}

void TestItemDecoding::zones_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("text");
    QTest::newRow("utc") << 0 << "GMT+0";
    QTest::newRow("+8") << 28800 << "GMT+8";
    QTest::newRow("+5:30") << 19800 << "GMT+5:30";
    QTest::newRow("-3:30") << -12600 << "GMT-3:30";
    QTest::newRow("-1") << -3600 << "GMT-1";
    QTest::newRow("+5:45") << 20700 << "GMT+5:45";
}

void TestItemDecoding::zones()
{
    QFETCH(int, offset);
    QFETCH(QString, text);
    QCOMPARE(zoneText(offset), text);
}

void TestItemDecoding::dateTexts()
{
    QCOMPARE(dateText(0, kListDateFormat), QStringLiteral("1970/01/01"));
    QCOMPARE(dateText(86400 + 3600, QStringLiteral("yyyy/MM/dd hh:mm")), QStringLiteral("1970/01/02 01:00"));
    QCOMPARE(dateTextWithZone(0, kListDateFormat), QStringLiteral("1970/01/01 GMT+0"));
}

QTEST_GUILESS_MAIN(TestItemDecoding)
#include "tst_item_decoding.moc"
