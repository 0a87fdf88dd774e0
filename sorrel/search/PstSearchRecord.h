#pragma once
// What the search index stores per item, and the state of a PST file an
// index belongs to.

#include "sorrel/items/PstSearchField.h"
#include "sorrel/store/PstLibrary.h"

#include <QList>
#include <QMap>
#include <QString>

#include <atomic>
#include <memory>

// A cancellation flag shared between the thread that cancels and the work
// that polls it.
using PstCancelFlag = std::shared_ptr<std::atomic_bool>;
inline PstCancelFlag makeCancelFlag() { return std::make_shared<std::atomic_bool>(false); }
inline bool isCancelled(const PstCancelFlag& flag) { return flag && flag->load(std::memory_order_relaxed); }

// One item as the index stores it: what its result card shows, where it
// lives, and the searchable text of each field.
struct PstSearchRecord {
    qint64 itemId = 0;            // the record's descriptor id (every kind)
    QList<qint64> folderPath;     // folder ids from the top-level folder down to the item's folder
    qint32 kind = 0;              // PstItemKind
    qint32 rowInFolder = -1;      // position in its folder's item list; -1 outside a folder walk
    QString title;
    QString subject;
    QString dateText;             // the card's date text
    QString durationText;
    QString iconPath;
    bool hasAttachments = false;  // mails
    bool taskFlag = false;        // tasks: complete
    QMap<PstSearchField, QString> fieldTexts;  // Subject..Attachment; a missing field reads as empty

    QString fieldText(PstSearchField field) const { return fieldTexts.value(field); }
    bool operator==(const PstSearchRecord&) const = default;
};

// The state of a PST file an index belongs to. fileSize 0: the state is not
// known (no handle, no file); nothing is written or accepted for it.
struct SearchIndexKey {
    qint64 fileSize = 0;
    qint64 modifiedSecs = 0;
    qint64 index1 = 0;
    qint64 index2 = 0;
    qint64 index1Back = 0;
    qint64 index2Back = 0;

    bool isKnown() const { return fileSize != 0; }
    bool operator==(const SearchIndexKey&) const = default;
};

// An open file as the search and the index build see it.
struct PstSearchDocument {
    QString path;
    PstFileHandle handle;
};
