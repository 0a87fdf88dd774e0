#pragma once
// Page bookmarks of page-based documents, in one JSON file per user:
// {"bookmarks": [{"fileName": ..., "children": [{"title": ..., "page": n}]}]}.
// Every operation reads the file, changes it, writes it back atomically and
// announces the change.

#include <QJsonObject>
#include <QObject>

class BookmarkManager : public QObject {
    Q_OBJECT
public:
    // The process-wide manager, created on first use.
    static BookmarkManager* instance();

    // "<prefix>_bookmarks.json" in the configuration directory.
    QString filePath() const;

    // The file's top object; empty when the file is missing or unreadable.
    QJsonObject load() const;
    // Writes the object; a failure is logged and leaves the old file.
    bool save(const QJsonObject& object);

    // Appends a bookmark to fileName's entry, creating the entry when needed.
    void addBookmark(const QString& fileName, int page, const QString& title);
    // Removes the first bookmark of that page, and the file's entry once it
    // has none left; page -1 removes the whole entry.
    void removeBookmark(const QString& fileName, int page);
    // Retitles the first bookmark of that page.
    void renameBookmark(const QString& fileName, int page, const QString& title);

signals:
    void bookmarksChanged();

private:
    BookmarkManager() = default;

    QString prefix;
};
