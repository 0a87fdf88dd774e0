#pragma once
// The open PST files and their folder tree. Requests to open files join a
// queue; one file at a time opens and parses on the application-wide thread
// pool, and its file node joins the tree on the GUI thread. The controller
// also answers presses in the tree (the folder's items), offers the per-file
// context menu, and names folders by their tree path keys.
//
// After every change of the open files a background run walks all files
// into a prebuilt forest (building each file's search index on the way);
// once it arrives, the forest replaces the tree's lazily loaded nodes, so
// folders open without parsing, and becomes the search's scope. The GUI
// thread never walks a whole file: while a run is pending, isPending() says
// so and searches wait for allItemsReady.

#include "sorrel/items/PstItem.h"
#include "sorrel/search/PstSearch.h"
#include "sorrel/store/PstFolderItem.h"
#include "sorrel/store/PstForest.h"
#include "sorrel/store/PstLibrary.h"

#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>

#include <memory>

class PstSearchIndexProgress;
class PstTreeModel;
class PstTreeViewFilterModel;
class QAction;
class QMenu;
class QPoint;
class QThreadPool;
class QTreeView;
template <typename T> class QFutureWatcher;

class PstTreeController : public QObject {
    Q_OBJECT
    // The open queue's state, readable across the plug-in boundary.
    Q_PROPERTY(bool busy READ isBusy)
    Q_PROPERTY(QString currentPath READ currentPath)
    Q_PROPERTY(QStringList pendingPaths READ pendingPaths)
public:
    PstTreeController(QTreeView* view, QObject* parent = nullptr);
    ~PstTreeController() override;

    QTreeView* view() const { return m_view; }
    PstTreeModel* model() const { return m_model; }
    PstTreeViewFilterModel* proxy() const { return m_proxy; }

    // Open queue.
    void openFile(const QString& path);
    bool isBusy() const { return m_busy; }
    QString currentPath() const { return m_currentPath; }
    QStringList pendingPaths() const { return m_pendingPaths; }
    int fileCount() const;
    // What a saved workspace lists: the paths of the open files in tree
    // order, then the file being opened, then the queued ones, each once.
    QStringList sessionFiles() const;
    // Adds an already parsed file node as an opened file is added: appended
    // below the root, made current when it is the only file, expanded.
    // Emits pstTreeViewRowChanged, not pstFileOpened (nothing was opened).
    void addFileNode(const PstFolderItemPtr& fileNode);
    // The handle of the open file with the same absolute path, or null.
    PstFileHandle documentForPath(const QString& path) const;

    // Tree selection and keys. Indexes of the view are proxy indexes; those
    // of indexForKey are source (tree model) indexes.
    PstFolderItemPtr currentFileNode() const;
    QString currentKey() const;
    QStringList expandedKeys() const;
    void applyKeys(const QStringList& expanded, const QString& current, bool announce);
    QModelIndex indexForKey(const QString& key);
    // Selects the folder that holds item (the item itself when a folder).
    void revealItem(const std::shared_ptr<PstItem>& item);
    void selectFolder(const QString& filePath, const QList<uint64_t>& idPath);
    void setHideEmptyFolders(bool hide);

    // The menu for a context request at pos in the view's viewport, aimed at
    // the file node there; null on folders and empty space.
    QMenu* contextMenuAt(const QPoint& pos);
    QAction* showInExplorerAction() const { return m_actShowInExplorer; }
    QAction* closeFileAction() const { return m_actCloseFile; }
    // Closes the file of a file node index of the view.
    void closeFile(const QModelIndex& proxyIndex);

    // Background loading of all items.
    void loadAllItemsCacheAsync();
    // Off (the export dialog's own tree): no run ever starts.
    void setBackgroundEnabled(bool enabled);
    bool backgroundEnabled() const { return m_backgroundEnabled; }
    // A run for the current files is pending: no result matches them yet.
    bool isPending() const { return m_backgroundEnabled && m_dirty; }
    // The forest root of the file at path; null while a run is pending.
    PstFolderItemPtr prebuiltTreeFor(const QString& path) const;
    // Every item of every open file from the last applied run; empty while
    // a run is pending (the GUI thread never parses a whole file).
    QList<std::shared_ptr<PstItem>> allItemsNow() const;
    // The forest's node of a folder (or of the file for an empty idPath).
    PstFolderItemPtr forestNodeFor(const QString& filePath, const QList<uint64_t>& idPath) const;
    // Handles the current tree index again as pressed (after adoption).
    void reselectCurrent();
    // A search request for the current selection: all files, the current
    // file, or the current folder with its subfolders.
    PstSearchRequest searchRequestTemplate() const;

public slots:
    void onPressed(const QModelIndex& index);

signals:
    void loadingStarted();
    void pstFileOpening(const QString& path);
    void pstFileOpened(const QString& path);
    void openPstFailed(const QString& path);
    void pstTreeViewRowChanged(int fileCount);
    void loadingFinished();
    void openQueueFinished();
    void pstFileClosed(const QString& absolutePath);
    void folderSelected(const QList<std::shared_ptr<PstItem>>& items);
    // Background loading: an index is rebuilt; the indexes on disk are
    // usable and only the forest loads; index build progress; the run ended.
    void searchIndexPreparing();
    void allItemsLoadingStarted();
    void searchIndexProgressChanged(int done, int total);
    void searchIndexBuildFinished();
    // The forest replaced the tree's nodes.
    void forestAdopted();
    // A result for the current files was applied (or no file is open any
    // more): allItemsNow and the scope of searches are current.
    void allItemsReady();

protected:
    // The set of open files changed (a file joined or left the tree). The
    // background loading of all items hooks in here.
    virtual void filesChanged();

private:
    void startNextOpen();
    void onOpenFinished();
    void onContextMenuRequested(const QPoint& pos);
    void forgetLastPressed() { m_lastPressed = {}; }
    // Expands the ancestors of a source index, makes it current, centres it.
    void selectSourceIndex(const QModelIndex& source);
    void setupBackground();
    void shutdownBackground();
    void onAllItemsLoaded();
    bool adoptForest();
    // Items of a forest node and of its subfolders, depth first.
    static void collectItems(const PstFolderItemPtr& folder, QList<std::shared_ptr<PstItem>>& items);

    struct PressedIndex {
        int row = -1;
        int column = -1;
        const void* pointer = nullptr;
        const QAbstractItemModel* model = nullptr;
    };

    QTreeView* m_view = nullptr;
    PstTreeModel* m_model = nullptr;
    PstTreeViewFilterModel* m_proxy = nullptr;
    QMenu* m_contextMenu = nullptr;
    QAction* m_actShowInExplorer = nullptr;
    QAction* m_actCloseFile = nullptr;
    QPersistentModelIndex m_menuIndex;
    PressedIndex m_lastPressed;

    QStringList m_pendingPaths;
    QString m_currentPath;
    bool m_busy = false;
    QFutureWatcher<PstFolderItemPtr>* m_openWatcher = nullptr;

    // Background loading.
    bool m_backgroundEnabled = true;
    // No background result matches the open files (set by every open and close).
    bool m_dirty = true;
    QList<std::shared_ptr<PstItem>> m_allItems;
    QList<PstFolderItemPtr> m_forestRoots;
    int m_generation = 0;
    int m_runGeneration = 0;
    bool m_rerunRequested = false;
    bool m_running = false;
    PstCancelFlag m_cancel;
    QThreadPool* m_pool = nullptr;
    QFutureWatcher<PstAllItemsResult>* m_allItemsWatcher = nullptr;
    std::shared_ptr<PstSearchIndexProgress> m_progress;
};
