// The writers' byte functions on their own: stored header blocks, encoded
// header values, mail dates, content-line folding and escaping, and the
// mbox quoting stream fed in pieces of every size.

#include "sorrel/export/writers/MailHeaders.h"
#include "sorrel/export/writers/OutputStreams.h"
#include "sorrel/export/writers/WriterSupport.h"

#include <QtTest>

#include <cstdio>

using namespace mailheaders;

class TestExportWriters : public QObject {
    Q_OBJECT

private slots:
    void validHeaders_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("known name") << QByteArray("received: from x") << true;
        QTest::newRow("known name, folded first line") << QByteArray("Subject:\r\n\tHello\r\n") << true;
        QTest::newRow("any field, then another") << QByteArray("X-Thing: a\r\n b\r\nY: c\r\n") << true;
        QTest::newRow("field without a following one") << QByteArray("X-Thing: a\r\n b\r\n") << false;
        QTest::newRow("lower-case first letter") << QByteArray("x-thing: a\r\nY: c\r\n") << false;
        QTest::newRow("body text") << QByteArray("Hello there, Bob\r\n") << false;
        QTest::newRow("mbox separator") << QByteArray("From ann@example.com Mon Jan  1\r\nTo: b\r\n") << false;
    }
    void validHeaders()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QCOMPARE(mailheaders::validHeaders(text), valid);
    }

    void headerFields()
    {
        QByteArray block("Content-Type: text/plain;\n charset=\"koi8-r\"; report-type=delivery\nTo: a\n"
                         "content-type: again\nX-Last: 1");
        const qsizetype type = headerFieldPos(block, "Content-Type:");
        QCOMPARE(type, 0);
        QCOMPARE(headerGetSubfield(block, type, "charset", 29), QByteArray("koi8-r"));
        QCOMPARE(headerGetSubfield(block, type, "report-type", 59), QByteArray("delivery"));
        QCOMPARE(headerGetSubfield(block, type, "charset", 3), QByteArray("koi"));
        QCOMPARE(headerGetSubfield(block, headerFieldPos(block, "To:"), "charset", 29), QByteArray());
        QVERIFY(headerHasField(block, "TO:"));
        QVERIFY(!headerHasField(block, "Cc:"));
        headerStripField(block, "Content-Type:");  // first, folded, and again further down
        QCOMPARE(block, QByteArray("To: a\nX-Last: 1"));
        headerStripField(block, "X-Last:");        // the last, without a line end
        QCOMPARE(block, QByteArray("To: a"));
        headerStripField(block, "To:");
        QCOMPARE(block, QByteArray());
    }

    void headerValues_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("quote");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plain") << QByteArray("Ann") << true << QByteArray("Ann");
        QTest::newRow("space, quoted") << QByteArray("Ann Lee") << true << QByteArray("\"Ann Lee\"");
        QTest::newRow("space, not quoted") << QByteArray("Ann Lee") << false << QByteArray("Ann Lee");
        QTest::newRow("comma without space") << QByteArray("Lee,Ann") << true << QByteArray("\"Lee,Ann\"");
        QTest::newRow("quote inside") << QByteArray("Ann \"A\" Lee") << true << QByteArray("\"Ann \\\"A\\\" Lee\"");
        QTest::newRow("not ASCII") << QByteArray("Jos\xC3\xA9") << true << QByteArray("=?utf-8?B?Sm9zw6k=?=");
        QTest::newRow("line break") << QByteArray("a\r\nBcc: x") << false << QByteArray("=?utf-8?B?YQ0KQmNjOiB4?=");
    }
    void headerValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, quote);
        QFETCH(QByteArray, encoded);
        QCOMPARE(rfc2047Encode(value, quote), encoded);
    }

    void parametersAndSafeText()
    {
        QCOMPARE(rfc2231Encode("a b\"\x01\xC3\xBC~.txt"), QByteArray("utf-8''a%20b%22%01%c3%bc~.txt"));
        QCOMPARE(quotedStringBody("say \"hi\" \\ \r\nnow"), QByteArray("say \\\"hi\\\" \\\\ now"));
        QCOMPARE(headerSafe("a\tb\r\nc\x7f\x01"), QByteArray("a bc"));
    }

    void htmlCharset_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("charset");
        QTest::newRow("meta charset, quoted") << QByteArray("<head><meta charset=\"windows-1252\"></head>") << QByteArray("windows-1252");
        QTest::newRow("http-equiv content") << QByteArray("<META http-equiv=Content-Type content=\"text/html; charset=gb2312\">")
                                            << QByteArray("gb2312");
        QTest::newRow("none") << QByteArray("<p>charset=utf-8</p>") << QByteArray();
        QTest::newRow("after the tag") << QByteArray("<meta name=x> charset=utf-8") << QByteArray();
    }
    void htmlCharset()
    {
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, charset);
        QCOMPARE(htmlMetaCharset(html), charset);
    }

    void mailDates()
    {
        QCOMPARE(rfc2822Date(315626635), QByteArray("Wed, 02 Jan 1980 02:03:55 +0000"));
        QCOMPARE(rfc2822Date(-1), QByteArray());
        QCOMPARE(rfc2822Date(32535216000), QByteArray());  // 3001
        QCOMPARE(mboxSeparatorDate(315626635), QByteArray("Wed Jan 02 02:03:55 1980"));  // TZ=UTC
        QCOMPARE(mboxSeparatorDate(-11644473600), QByteArray("Thu Jan 1 00:00:00 1970"));
    }

    void contentLines_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("text");
        const QByteArray a74(74 - 5, 'a');  // "NOTE:" and 69 letters
        QTest::newRow("fits") << a74 + "b" << "NOTE:" + a74 + "b\r\n";
        QTest::newRow("one octet over") << a74 + "bc" << "NOTE:" + a74 + "b\r\n c\r\n";
        QTest::newRow("no cut inside a character") << a74 + "\xC3\xA9" << "NOTE:" + a74 + "\r\n \xC3\xA9\r\n";
        QTest::newRow("continuation lines hold 74") << QByteArray(70 + 74 + 1, 'x')
                                                    << "NOTE:" + QByteArray(70, 'x') + "\r\n " + QByteArray(74, 'x')
                                                           + "\r\n x\r\n";
    }
    void contentLines()
    {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, text);
        writersupport::ContentLines lines;
        lines.add("NOTE", value);
        QCOMPARE(lines.text(), text);
    }

    void textEscaping()
    {
        QCOMPARE(writersupport::escapeText("a,b;c\\d\r\ne\tf\x01\x7f"), QByteArray("a\\,b\\;c\\\\d\\ne\tf"));
        QCOMPARE(writersupport::plainValue("+1\r\n555\x02"), QByteArray("+1555"));
    }

    // The quoting does not depend on where the writes cut the text.
    void mboxQuoting_data()
    {
        QTest::addColumn<int>("piece");
        for (int piece : {1, 2, 3, 5, 7, 1000})
            QTest::newRow(qPrintable(QString::number(piece))) << piece;
    }
    void mboxQuoting()
    {
        QFETCH(int, piece);
        const QByteArray in("From here\nFrom\n>From there\n>>From x\n Fromage\nFro\nFrom");
        const QByteArray quoted(">From here\nFrom\n>>From there\n>>>From x\n Fromage\nFro\nFrom");
        char* buffer = nullptr;
        size_t size = 0;
        FILE* target = open_memstream(&buffer, &size);
        FILE* stream = outputstreams::openMboxQuoting(target);
        for (qsizetype i = 0; i < in.size(); i += piece) {
            std::fwrite(in.constData() + i, 1, size_t(qMin<qsizetype>(piece, in.size() - i)), stream);
            std::fflush(stream);
        }
        QVERIFY(outputstreams::closeChecked(stream));
        std::fclose(target);
        QCOMPARE(QByteArray(buffer, qsizetype(size)), quoted);
        std::free(buffer);
    }
};

QTEST_GUILESS_MAIN(TestExportWriters)
#include "tst_export_writers.moc"
