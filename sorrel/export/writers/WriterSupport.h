#pragma once
// What the vCard, iCalendar and mail writers share: libpst strings as UTF-8,
// content lines folded the way RFC 5545 and RFC 2426 want them, text-value
// escaping, and the identifiers of written objects.

#include <libpst/libpst.h>

#include <QByteArray>

namespace writersupport {

// The string converted to UTF-8 with the item's character set (in place,
// pst_convert_utf8_null); empty when absent. Call with the library lock held.
QByteArray utf8Of(pst_item* item, pst_string& str);

// A TEXT value: a line feed becomes "\n", carriage returns and every other
// control character except the tab are dropped, and a backslash goes before
// every backslash, comma and semicolon.
QByteArray escapeText(const QByteArray& utf8);

// A value of another type (address, phone number, date): control characters
// dropped, nothing escaped.
QByteArray plainValue(const QByteArray& utf8);

// Content lines "NAME:value", each folded into physical lines of at most 75
// octets (never inside a UTF-8 sequence; continuation lines start with a
// space) and ended with eol.
class ContentLines {
public:
    explicit ContentLines(QByteArray eol = QByteArrayLiteral("\r\n")) : m_eol(std::move(eol)) {}

    void add(const QByteArray& name, const QByteArray& value);  // value as it is to appear
    void add(const QByteArray& line);                           // a whole line
    void addText(const QByteArray& name, const QByteArray& utf8) { add(name, escapeText(utf8)); }

    const QByteArray& text() const { return m_text; }
    const QByteArray& eol() const { return m_eol; }

private:
    QByteArray m_eol;
    QByteArray m_text;
};

// The store key of a PST file: its message store's record key in lower-case
// hexadecimal (a GUID Outlook gives every file), or, when the store has
// none, a digest of the file's name and size. Takes the library lock.
QByteArray storeKey(pst_file* pf);

// The UID of an iCalendar object written from an item: the item's block id
// ("%#llx") followed by "-" and the store key, so it is the same on every
// export of a file and differs between files.
QByteArray itemUid(const pst_item* item, const QByteArray& storeKey);

// "-//Tarnwick//Marrowin 2.3.0//EN"
QByteArray productId();

} // namespace writersupport
