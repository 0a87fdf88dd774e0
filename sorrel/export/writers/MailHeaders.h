#pragma once
// Pure functions on header bytes for the Internet mail writer: recognising
// and editing a stored header block, and encoding values for header lines
// (RFC 2047 words, RFC 2231 parameters, quoted strings). None of them keeps
// state or touches libpst, so they can run on any input, hostile or not.

#include <QByteArray>
#include <QtGlobal>

namespace mailheaders {

// Whether the text starts like a block of mail header fields: one of the
// well-known field names, or a first line "Name: value\r\n" followed by a
// line that is not a continuation.
bool validHeaders(const QByteArray& text);

// Position of the field "name" (with its colon, e.g. "Subject:") at the
// block's start or right after a line feed, ignoring letter case; -1 if none.
qsizetype headerFieldPos(const QByteArray& block, const QByteArray& name);
bool headerHasField(const QByteArray& block, const QByteArray& name);

// End of the field starting at pos: its first line feed that is not followed
// by a space or a tab (the position of that line feed), or the block's end.
qsizetype headerFieldEnd(const QByteArray& block, qsizetype pos);

// The value of the subfield " name=" inside the field that starts at pos:
// a quoted value up to its closing quote, else up to ";" or a line feed,
// never beyond the field; at most maxLength bytes.
QByteArray headerGetSubfield(const QByteArray& block, qsizetype pos, const QByteArray& name, int maxLength);

// Removes every occurrence of the field "name" with its continuation lines.
void headerStripField(QByteArray& block, const QByteArray& name);

// Drops every control character (tab becomes a space), so that data from a
// PST file cannot end a header line or start a new one.
QByteArray headerSafe(const QByteArray& value);

// An RFC 2047 word "=?utf-8?B?...?=" when the UTF-8 value holds a byte below
// 0x20 or above 0x7E; otherwise the value itself, or, when quoting is asked
// for and the value holds a space or a character that is special in an
// address, the value as a quoted string.
QByteArray rfc2047Encode(const QByteArray& utf8, bool quote);

// "utf-8''" followed by the value percent-encoded as RFC 2231 wants it:
// letters, digits and !#$&+-.^_`|~ stay, every other byte becomes "%xx".
QByteArray rfc2231Encode(const QByteArray& utf8);

// The value with a backslash before every double quote and backslash, and
// without control characters: the inside of a quoted string.
QByteArray quotedStringBody(const QByteArray& value);

// The charset an HTML text declares in a meta element ("<meta charset=x>" or
// "<meta ... content="...charset=x">"), at most 29 bytes; empty if none.
QByteArray htmlMetaCharset(const QByteArray& html);

// Mail dates. secondsSinceEpoch is UTC.
// "Wed, 02 Jan 1980 02:03:55 +0000"; empty when the year is outside 1970-3000.
QByteArray rfc2822Date(qint64 secondsSinceEpoch);
// The mbox separator date in local time, "Wed Jan 02 02:03:55 1980";
// "Thu Jan 1 00:00:00 1970" when the year is outside 1970-3000.
QByteArray mboxSeparatorDate(qint64 secondsSinceEpoch);

} // namespace mailheaders
