// Query words and matching (the index's compact texts answer as QString's
// case-insensitive search does), snippets, highlight ranges and the HTML
// text of a body.

#include "sorrel/search/PstSearchText.h"

#include <QtTest>

using FieldTexts = QMap<int, QString>;

namespace {

QString fieldText(const QMap<int, QString>& texts, PstSearchField field) { return texts.value(int(field)); }

// The same text as the record cache keeps it.
struct Compact {
    explicit Compact(const QString& text)
    {
        const bool latin1 = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x100; });
        bytes = latin1 ? text.toLatin1() : QByteArray(reinterpret_cast<const char*>(text.constData()), text.size() * 2);
        view = {bytes.constData(), text.size(), !latin1};
    }
    QByteArray bytes;
    PstCompactText view;
};

} // namespace

class TestSearchText : public QObject {
    Q_OBJECT
private slots:
    void splitsQueries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("terms");
        QTest::newRow("spaces around and between") << "  Budget \t  meeting  " << QStringList{"Budget", "meeting"};
        QTest::newRow("line break") << "a\nb" << QStringList{"a", "b"};
        QTest::newRow("only whitespace") << " \t " << QStringList();
    }
    void splitsQueries()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, terms);
        QCOMPARE(splitSearchTerms(query), terms);
    }

    void matchesFields_data()
    {
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<int>("field");
        QTest::addColumn<FieldTexts>("texts");
        QTest::addColumn<QList<int>>("matched");
        const QMap<int, QString> mail{{1, "Quarterly BUDGET"}, {2, "Ann Lee ann@example.com"}, {3, "Bob  "},
                                      {4, "the meeting notes and the budget"}, {5, "plan.pdf"}};
        QTest::newRow("words in subject and body, Any") << splitSearchTerms("  budget   meeting ") << 0 << mail
                                                         << QList<int>{1, 4};
        QTest::newRow("words in subject and body, Subject") << QStringList{"budget", "meeting"} << 1 << mail
                                                             << QList<int>();
        QTest::newRow("one word nowhere rejects") << QStringList{"budget", "zebra"} << 0 << mail << QList<int>();
        QTest::newRow("one term in From and Body") << QStringList{"ann"} << 0
                                                    << QMap<int, QString>{{2, "Ann"}, {4, "Joanna"}}
                                                    << QList<int>{2, 4};
        QTest::newRow("a field named alone") << QStringList{"PLAN"} << 5 << mail << QList<int>{5};
        QTest::newRow("appointment: no From, Recipient, Attachment")
            << QStringList{"room"} << 2 << QMap<int, QString>{{1, "Review Review"}, {4, "Room 3"}} << QList<int>();
        QTest::newRow("no terms") << QStringList() << 0 << mail << QList<int>();
        QTest::newRow("Latin-1 letters fold") << QStringList{"GRÜSSE"} << 1
                                              << QMap<int, QString>{{1, "viele grüsse"}} << QList<int>{1};
        QTest::newRow("a sign beyond Latin-1 folding onto k") << QStringList{QString(QChar(0x212A))} << 1
                                                               << QMap<int, QString>{{1, "Kelvin"}} << QList<int>{1};
        QTest::newRow("text beyond Latin-1") << QStringList{"見積"} << 4
                                             << QMap<int, QString>{{4, "お見積もりの件"}} << QList<int>{4};
        QTest::newRow("times sign is no letter") << QStringList{"\u00d7"} << 1
                                                 << QMap<int, QString>{{1, "a \u00f7 b"}} << QList<int>();
        QTest::newRow("match at the very end past a vector") << QStringList{"tail"} << 4
                                                             << QMap<int, QString>{{4, QString(40, 'x') + "TAIL"}}
                                                             << QList<int>{4};
    }
    void matchesFields()
    {
        QFETCH(QStringList, terms);
        QFETCH(int, field);
        QFETCH(FieldTexts, texts);
        QFETCH(QList<int>, matched);
        const std::function<QString(PstSearchField)> lookup = [&](PstSearchField f) { return fieldText(texts, f); };
        QCOMPARE(matchSearchFields(terms, PstSearchField(field), lookup), matched);

        // The record cache's texts give the same answer.
        QMap<int, std::shared_ptr<Compact>> compact;
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            compact.insert(it.key(), std::make_shared<Compact>(it.value()));
        const PstSearchTerms prepared(terms);
        const QList<int> fromCompact = prepared.match(PstSearchField(field), [&](PstSearchField f) {
            const auto c = compact.value(int(f));
            return c ? c->view : PstCompactText();
        });
        QCOMPARE(fromCompact, matched);
    }

    void snippetsAndHighlights()
    {
        QCOMPARE(searchSnippet("abcdef", {"cd"}, 1), QStringLiteral("\u2026bcde\u2026"));
        QCOMPARE(searchSnippet("abcdef", {"AB"}, 1), QStringLiteral("abc\u2026"));
        QCOMPARE(searchSnippet("one\n\n  two three", {"x", "two"}, 40), QStringLiteral("one two three"));
        QCOMPARE(searchSnippet("abcdef", {"zz"}, 1), QString());

        using Ranges = QList<QPair<int, int>>;
        QCOMPARE(searchHighlightRanges("abc", {"ab", "bc"}), (Ranges{{0, 3}}));
        QCOMPARE(searchHighlightRanges("aaaa", {"aa"}), (Ranges{{0, 4}}));
        QCOMPARE(searchHighlightRanges("Ab xx ab", {"ab", ""}), (Ranges{{0, 2}, {6, 2}}));
    }

    void htmlText()
    {
        QCOMPARE(htmlToSearchText("<script type='x'>var a = 1;</script >"), QString());
        QCOMPARE(htmlToSearchText("<html><head><style>p{}</style></head><body><p>Fish &amp; chips</p>\n<p>two</p>"),
                 QStringLiteral("Fish & chips two"));
    }

    void fieldNames()
    {
        QCOMPARE(searchFieldName(0), QStringLiteral("Any"));
        QCOMPARE(searchFieldName(5), QStringLiteral("Attachment"));
        QCOMPARE(searchFieldName(6), QString());
    }
};

QTEST_GUILESS_MAIN(TestSearchText)
#include "tst_searchtext.moc"
