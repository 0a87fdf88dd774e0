#include "sorrel/search/PstSearchText.h"

#include "sorrel/items/PstMailItem.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Latin-1 case folding as QString's case-insensitive comparison does it,
// restricted to characters whose folded form is Latin-1 too: A-Z and
// U+00C0..U+00DE (without U+00D7) fold to the character 0x20 above.
struct Latin1Fold {
    unsigned char table[256];
    Latin1Fold()
    {
        for (int c = 0; c < 256; ++c)
            table[c] = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c | 0x20 : c;
    }
};
const Latin1Fold kFold;

bool equalFolded(const unsigned char* a, const unsigned char* b, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (kFold.table[a[i]] != kFold.table[b[i]])
            return false;
    }
    return true;
}

// Whether the Latin-1 needle occurs in the Latin-1 haystack, ignoring case.
// Candidates are positions whose first and last byte equal the needle's
// with bit 0x20 set on both sides (a superset of the case-folded equality:
// upper and lower case differ in that bit alone); each is then checked.
bool containsLatin1(const unsigned char* h, qsizetype n, const unsigned char* needle, qsizetype k)
{
    if (k == 0)
        return true;
    if (n < k)
        return false;
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(char(needle[0] | 0x20));
    const __m128i last = _mm_set1_epi8(char(needle[k - 1] | 0x20));
    const __m128i bit = _mm_set1_epi8(0x20);
    for (; i + k - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i)), bit);
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + k - 1)), bit);
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const int at = __builtin_ctz(mask);
            mask &= mask - 1;
            if (equalFolded(h + i + at, needle, k))
                return true;
        }
    }
#endif
    const unsigned char f = kFold.table[needle[0]];
    for (; i + k <= n; ++i) {
        if (kFold.table[h[i]] == f && equalFolded(h + i, needle, k))
            return true;
    }
    return false;
}

QString collapseWhitespace(const QString& text)
{
    return text.simplified();
}

} // namespace

QStringList splitSearchTerms(const QString& query)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    return query.trimmed().split(whitespace, Qt::SkipEmptyParts);
}

QList<int> matchSearchFields(const QStringList& terms, PstSearchField field,
                             const std::function<QString(PstSearchField)>& text)
{
    QString texts[6];
    bool fetched[6] = {};
    const PstSearchTerms prepared(terms);
    return prepared.match(field, [&](PstSearchField f) -> QStringView {
        const int i = int(f);
        if (i < 1 || i > 5)
            return {};
        if (!fetched[i]) {
            texts[i] = text ? text(f) : QString();
            fetched[i] = true;
        }
        return texts[i];
    });
}

QString htmlToSearchText(const QString& html)
{
    // The converter drops script, style and head blocks in the same pass
    // that drops tags and decodes entities, in linear time.
    return collapseWhitespace(PstMailItem::htmlToText(html));
}

QString searchSnippet(const QString& text, const QStringList& terms, int radius)
{
    qsizetype best = -1;
    qsizetype bestLength = 0;
    for (const QString& term : terms) {
        if (term.isEmpty())
            continue;
        const qsizetype at = text.indexOf(term, 0, Qt::CaseInsensitive);
        if (at >= 0 && (best < 0 || at < best)) {
            best = at;
            bestLength = term.size();
        }
    }
    if (best < 0)
        return {};
    const qsizetype from = qMax<qsizetype>(0, best - radius);
    const qsizetype to = qMin(text.size(), best + bestLength + radius);
    QString snippet = collapseWhitespace(text.mid(from, to - from));
    if (from > 0)
        snippet.prepend(QChar(0x2026));
    if (to < text.size())
        snippet.append(QChar(0x2026));
    return snippet;
}

QList<QPair<int, int>> searchHighlightRanges(const QString& text, const QStringList& terms)
{
    QList<QPair<int, int>> hits;
    for (const QString& term : terms) {
        if (term.isEmpty())
            continue;
        for (qsizetype at = text.indexOf(term, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(term, at + term.size(), Qt::CaseInsensitive))
            hits.append({int(at), int(term.size())});
    }
    std::sort(hits.begin(), hits.end());
    QList<QPair<int, int>> merged;
    for (const auto& [start, length] : hits) {
        if (!merged.isEmpty() && start <= merged.last().first + merged.last().second) {
            auto& last = merged.last();
            last.second = qMax(last.first + last.second, start + length) - last.first;
        } else {
            merged.append({start, length});
        }
    }
    return merged;
}

QString searchFieldName(int field)
{
    static const char* const names[] = {
        QT_TRANSLATE_NOOP("PstSearchField", "Any"),       QT_TRANSLATE_NOOP("PstSearchField", "Subject"),
        QT_TRANSLATE_NOOP("PstSearchField", "From"),      QT_TRANSLATE_NOOP("PstSearchField", "Recipient"),
        QT_TRANSLATE_NOOP("PstSearchField", "Body"),      QT_TRANSLATE_NOOP("PstSearchField", "Attachment"),
    };
    if (field < 0 || field > 5)
        return {};
    return QCoreApplication::translate("PstSearchField", names[field]);
}

QString PstCompactText::toString() const
{
    if (!data || size == 0)
        return {};
    return wide ? QString(reinterpret_cast<const QChar*>(data), size) : QString::fromLatin1(data, size);
}

PstSearchTerms::PstSearchTerms(const QStringList& terms) : m_terms(terms)
{
    m_latin1.reserve(terms.size());
    for (const QString& term : terms) {
        const bool latin1 = std::all_of(term.cbegin(), term.cend(), [](QChar c) { return c.unicode() < 0x100; });
        m_latin1.append(latin1 ? term.toLatin1() : QByteArray());
    }
}

bool PstSearchTerms::occursIn(int term, QStringView text) const
{
    return text.contains(m_terms.at(term), Qt::CaseInsensitive);
}

bool PstSearchTerms::occursIn(int term, const PstCompactText& text) const
{
    if (text.wide)
        return occursIn(term, QStringView(reinterpret_cast<const QChar*>(text.data), text.size));
    const QByteArray& latin1 = m_latin1.at(term);
    if (latin1.isEmpty() && !m_terms.at(term).isEmpty()) {
        // A term beyond Latin-1 may still fold onto Latin-1 text (the Kelvin
        // sign onto k): compare as QString does.
        return QString::fromLatin1(text.data, text.size).contains(m_terms.at(term), Qt::CaseInsensitive);
    }
    return containsLatin1(reinterpret_cast<const unsigned char*>(text.data), text.size,
                          reinterpret_cast<const unsigned char*>(latin1.constData()), latin1.size());
}
