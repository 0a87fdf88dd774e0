#pragma once
// Query words, matching, and the texts the result list draws: snippets,
// highlight ranges and field names. Pure functions, callable from any thread.

#include "sorrel/items/PstSearchField.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// The words of a query: split at runs of whitespace, empty parts dropped,
// order and case kept.
QStringList splitSearchTerms(const QString& query);

// The fields (PstSearchField values) in which the terms were found, in the
// order first found; empty when some term is found nowhere. Every term must
// occur (case-insensitive substring) in field, or with Any in one of
// Subject, From, Recipient, Body, Attachment, looked at in that order.
QList<int> matchSearchFields(const QStringList& terms, PstSearchField field,
                             const std::function<QString(PstSearchField)>& text);

// Plain text of an HTML body for searching: scripts, styles and tags go,
// entities are decoded, whitespace collapses to single spaces.
QString htmlToSearchText(const QString& html);

// A short excerpt around the earliest occurrence of any term, radius
// characters either side, whitespace collapsed, with "…" where it was cut;
// empty when no term occurs.
QString searchSnippet(const QString& text, const QStringList& terms, int radius);

// (start, length) of every occurrence of every term, sorted and merged.
QList<QPair<int, int>> searchHighlightRanges(const QString& text, const QStringList& terms);

// The translated display name of a field ("Any", "Subject", ...); empty for
// any other value.
QString searchFieldName(int field);

// A field's text as the record cache keeps it: one byte per character when
// every character fits in Latin-1, else UTF-16. Points into storage owned
// elsewhere.
struct PstCompactText {
    const char* data = nullptr;
    qsizetype size = 0;  // characters
    bool wide = false;   // UTF-16 code units, else Latin-1 bytes

    QString toString() const;
};

// Query words prepared once per search for fast case-insensitive tests on
// both kinds of text.
class PstSearchTerms {
public:
    explicit PstSearchTerms(const QStringList& terms);

    int size() const { return int(m_terms.size()); }
    bool isEmpty() const { return m_terms.isEmpty(); }
    const QStringList& words() const { return m_terms; }

    bool occursIn(int term, QStringView text) const;
    bool occursIn(int term, const PstCompactText& text) const;

    // matchSearchFields over texts from lookup (QString or PstCompactText).
    template <typename Lookup>
    QList<int> match(PstSearchField field, const Lookup& lookup) const;

private:
    QStringList m_terms;
    QList<QByteArray> m_latin1;  // the term in Latin-1, or empty when it has other characters
};

template <typename Lookup>
QList<int> PstSearchTerms::match(PstSearchField field, const Lookup& lookup) const
{
    QList<int> matched;
    if (m_terms.isEmpty())
        return matched;
    const bool any = field == PstSearchField::Any;
    for (int t = 0; t < m_terms.size(); ++t) {
        bool found = false;
        for (int f = any ? 1 : int(field); f <= (any ? 5 : int(field)); ++f) {
            if (occursIn(t, lookup(PstSearchField(f)))) {
                found = true;
                if (!matched.contains(f))
                    matched.append(f);
            }
        }
        if (!found)
            return {};
    }
    return matched;
}
