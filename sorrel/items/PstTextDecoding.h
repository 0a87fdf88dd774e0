#pragma once
// Turning libpst's byte strings and FILETIMEs into QString and seconds.
// Every function always produces a result; none keeps state.

#include <libpst/libpst.h>

#include <QString>
#include <QtGlobal>

// Text properties: strict UTF-8, else the item's code page through libpst
// (when an item is given and names its character set), else the byte
// heuristic below.
QString decodeText(pst_item* item, const pst_string& str);

// HTML bodies: strict UTF-8, else the item's declared code page, else the charset the
// HTML declares (GB2312/GBK read as GB18030; no declaration: lenient UTF-8).
QString decodeHtml(pst_item* item, const pst_string& str);

// UTF-8 when flagged; otherwise GB18030 when the bytes have its multi-byte
// form, else Windows-1252 (Latin-1 when no converter exists).
QString guessEightBit(const pst_string& str);

// True when the bytes (up to the first NUL) are in GB18030 multi-byte form.
bool looksLikeGb18030(const char* bytes);

// Seconds since 1970-01-01 UTC; 0 for a null pointer.
qint64 filetimeToSeconds(const FILETIME* ft);
// False for a date that is not set: no value, 0, or Outlook's "none"
// (4501-01-01 and later).
bool filetimeIsSet(const FILETIME* ft);

// Local time through the system locale.
QString dateText(qint64 seconds, const QString& format);
// dateText, or empty for 0: a date that is not set shows as missing.
QString optionalDateText(qint64 seconds, const QString& format);
// dateText followed by a space and the zone text of that moment's offset.
QString dateTextWithZone(qint64 seconds, const QString& format);
// "GMT+8", "GMT-3:30", "GMT+0".
QString zoneText(int offsetSeconds);
// Empty when not set; else dateText in "MMM dd, yyyy 'at' hh:mm AP".
QString filetimeText(const FILETIME* ft);

inline const QString kDetailDateFormat = QStringLiteral("MMM dd, yyyy 'at' hh:mm AP");
inline const QString kListDateFormat = QStringLiteral("yyyy/MM/dd");
