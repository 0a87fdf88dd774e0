#include "host/window/BookmarkManager.h"

#include "common/JsonFile.h"
#include "common/ProductProfile.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString kBookmarks = QStringLiteral("bookmarks");
const QString kFileName = QStringLiteral("fileName");
const QString kChildren = QStringLiteral("children");
const QString kTitle = QStringLiteral("title");
const QString kPage = QStringLiteral("page");

} // namespace

BookmarkManager* BookmarkManager::instance()
{
    static BookmarkManager* manager = new BookmarkManager;
    return manager;
}

QString BookmarkManager::filePath() const
{
    return ProductProfile::configDirectory() + QLatin1Char('/') + prefix + QStringLiteral("_bookmarks.json");
}

QJsonObject BookmarkManager::load() const { return JsonFile::read(filePath()).object(); }

bool BookmarkManager::save(const QJsonObject& object) { return JsonFile::write(filePath(), QJsonDocument(object)); }

void BookmarkManager::addBookmark(const QString& fileName, int page, const QString& title)
{
    QJsonObject root = load();
    QJsonArray files = root.value(kBookmarks).toArray();
    const QJsonObject bookmark{{kTitle, title}, {kPage, page}};
    bool added = false;
    for (qsizetype i = 0; i < files.size() && !added; ++i) {
        QJsonObject entry = files.at(i).toObject();
        if (entry.value(kFileName).toString() != fileName)
            continue;
        QJsonArray children = entry.value(kChildren).toArray();
        children.append(bookmark);
        entry.insert(kChildren, children);
        files.replace(i, entry);
        added = true;
    }
    if (!added)
        files.append(QJsonObject{{kFileName, fileName}, {kChildren, QJsonArray{bookmark}}});
    root.insert(kBookmarks, files);
    save(root);
    emit bookmarksChanged();
}

void BookmarkManager::removeBookmark(const QString& fileName, int page)
{
    QJsonObject root = load();
    QJsonArray files = root.value(kBookmarks).toArray();
    bool removed = false;
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        QJsonObject entry = files.at(i).toObject();
        if (entry.value(kFileName).toString() != fileName)
            continue;
        if (page == -1) {
            files.removeAt(i);
            removed = true;
            continue;
        }
        QJsonArray children = entry.value(kChildren).toArray();
        for (qsizetype c = 0; c < children.size(); ++c) {
            if (children.at(c).toObject().value(kPage).toInt() == page) {
                children.removeAt(c);
                removed = true;
                break;
            }
        }
        if (children.isEmpty()) {
            files.removeAt(i);
            removed = true;
        } else {
            entry.insert(kChildren, children);
            files.replace(i, entry);
        }
    }
    if (!removed)
        return;
    root.insert(kBookmarks, files);
    save(root);
    emit bookmarksChanged();
}

void BookmarkManager::renameBookmark(const QString& fileName, int page, const QString& title)
{
    QJsonObject root = load();
    if (!root.contains(kBookmarks))
        return;
    QJsonArray files = root.value(kBookmarks).toArray();
    for (qsizetype i = 0; i < files.size(); ++i) {
        QJsonObject entry = files.at(i).toObject();
        if (entry.value(kFileName).toString() != fileName)
            continue;
        QJsonArray children = entry.value(kChildren).toArray();
        for (qsizetype c = 0; c < children.size(); ++c) {
            QJsonObject bookmark = children.at(c).toObject();
            if (bookmark.value(kPage).toInt() != page)
                continue;
            bookmark.insert(kTitle, title);
            children.replace(c, bookmark);
            entry.insert(kChildren, children);
            files.replace(i, entry);
            root.insert(kBookmarks, files);
            save(root);
            emit bookmarksChanged();
            return;
        }
        return; // only the first entry of that file is looked at
    }
}
