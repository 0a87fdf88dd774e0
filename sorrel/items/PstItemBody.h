#pragma once
// The body of an item: its plain text and its HTML. Bodies can be large, so
// long-lived records never keep them; whoever shows, prints, exports or
// searches a body reads it again (PstItem::loadBody) and lets it go.

#include <libpst/libpst.h>

#include <QString>

struct PstItemBody {
    QString plain;  // PR_BODY
    QString html;   // PR_HTML

    bool isEmpty() const { return plain.isEmpty() && html.isEmpty(); }
    // The body as plain text: the plain body, else the HTML as text.
    QString text() const;
    // The body field's search text: the plain text, then the HTML as text.
    QString searchText() const;
};

// The body of a parsed libpst item. Every body read goes through here. An
// item with neither plain nor HTML body gets the content of its compressed
// RTF body: encapsulated HTML as HTML, other RTF as plain text. Call with
// pstLibraryMutex() held: decoding may use libpst's charset conversion.
PstItemBody pstReadItemBody(pst_file* pf, pst_item* item);
