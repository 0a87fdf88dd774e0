#pragma once
// Data roles of the item list's rows (Qt::UserRole is 256).

#include <Qt>

namespace PstListRoles {
enum Role : int {
    KindRole = Qt::UserRole + 1,          // 257 int, PstItemKind
    SubjectRole = Qt::UserRole + 2,       // 258 QString
    MailDateRole = Qt::UserRole + 3,      // 259 QString, "yyyy/MM/dd" or "No sent date"
    HasAttachmentsRole = Qt::UserRole + 4, // 260 bool
    DurationRole = Qt::UserRole + 6,      // 262 QString
    StartDateRole = Qt::UserRole + 7,     // 263 QString
    NoteDateRole = Qt::UserRole + 8,      // 264 QString
    TaskCompleteRole = Qt::UserRole + 10, // 266 bool
    MatchedFieldsRole = Qt::UserRole + 11, // 267 QStringList
    SearchTermsRole = Qt::UserRole + 12,  // 268 QStringList
    SnippetRole = Qt::UserRole + 13,      // 269 QString
    SortTimeRole = Qt::UserRole + 14,     // 270 quint64
};
} // namespace PstListRoles
