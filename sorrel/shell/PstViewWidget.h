#pragma once
// The PST module's top widget: toolbar, the home page that invites the user
// to add files, and the main page with folder tree, item list and detail pane.

#include "sorrel/search/PstSearch.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>

class DetailViewController;
class IDocumentWidgetHost;
class ListViewSortMenu;
class PstItem;
class PstListController;
class PstPrinter;
class PstTreeController;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QTimer;
class SpinnerWidget;
template <typename T> class QFutureWatcher;

namespace Ui {
class PstViewWidget;
}

class PstViewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PstViewWidget(QWidget* parent = nullptr, IDocumentWidgetHost* host = nullptr);
    ~PstViewWidget() override;

    // Paths that count as Outlook data files when dropped or chosen (suffix
    // .pst or .ost, any case).
    static bool isPstPath(const QString& path);

    PstTreeController* tree() const { return treeController; }
    PstListController* list() const { return listController; }
    DetailViewController* detail() const { return detailController; }
    QLabel* searchStatus() const { return searchStatusLabel; }
    QMenu* searchFields() const { return searchFieldMenu; }
    QWidget* busyOverlay() const { return overlay; }
    SpinnerWidget* busySpinner() const { return spinner; }
    std::shared_ptr<PstItem> shownItem() const { return currentItem; }
    PstPrinter* printer() const { return printProvider; }

signals:
    void sizeChangeRequested(int w, int h);
    void fileAccessRequested(QString filePath);
    void fileOpened(QString filePath);
    void fileClosed(QString filePath);
    void fileOpenFailed(QString filePath);

public slots:
    // Hands path to the open queue.
    void openFile(QString path);
    void refreshSearch();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void connectControllers();
    void onFolderSelected(const QList<std::shared_ptr<PstItem>>& items);
    void onItemSelected(const std::shared_ptr<PstItem>& item);
    void onFileCountChanged(int fileCount);
    void onFileOpened(const QString& path);
    void onFileClosed(const QString& path);
    void onOpenFailed(const QString& path);
    void onSortChanged(const QString& field, const QString& order);
    void showSortMenu();
    // The workspace: saved 200 ms after the last change (never while a
    // restore runs), at close and at destruction; restored once at start.
    void requestSessionSave();
    void saveSession();
    void restoreSession();
    void applyRestoredSession();
    void openFilesFromDialog();
    // Convert (mode 1) and Export (mode 0): the export dialog on the file
    // of the current tree selection.
    void openExportDialog(int mode);
    void printCurrentItem();
    void toggleTreePane();
    void toggleListPane();
    // Hides or shows the splitter pane at index, giving its width to the last pane.
    void setPaneHidden(int index, bool hide, int& savedWidth);

    // Searching (the search box, its field menu and status line).
    void setupSearch();
    void onSearchTextChanged(const QString& text);
    void treatAsTyped() { onSearchTextChanged(searchText); }
    void startSearch();
    void onSearchFinished();
    void onSearchFieldChosen(QAction* action);
    void onSearchResultSelected(const PstSearchResult& result);
    void onForestAdopted();
    void onAllItemsReady();
    void resetSearchScope();
    QString trimmedSearchText() const { return searchText.trimmed(); }
    // The loader's texts in the host's status bar (the log without a host).
    void showLoaderStatus(const QString& text, const QString& logLine = {});
    // The busy overlay while files open.
    void setupBusyOverlay();
    void showBusy();
    void hideBusy();

    Ui::PstViewWidget* ui = nullptr;
    IDocumentWidgetHost* host = nullptr;
    ListViewSortMenu* sortMenu = nullptr;
    QString sessionPath;
    QStringList restoredFiles;
    QStringList restoredExpanded;
    QString restoredCurrent;
    QString restoredSearchText;
    // Items of the folder the tree reported last.
    QList<std::shared_ptr<PstItem>> currentFolderItems;
    // True while a saved workspace is being reopened (no warning boxes then).
    bool restoring = false;
    QTimer* sessionSaveTimer = nullptr;
    std::shared_ptr<PstItem> currentItem;
    PstTreeController* treeController = nullptr;
    PstListController* listController = nullptr;
    DetailViewController* detailController = nullptr;
    PstPrinter* printProvider = nullptr;
    bool treePaneHidden = false;
    bool listPaneHidden = false;
    int treePaneSavedWidth = 0;
    int listPaneSavedWidth = 0;

    // Search state.
    QTimer* searchTimer = nullptr;          // 250 ms between typing and searching
    QMenu* searchFieldMenu = nullptr;
    QActionGroup* searchFieldGroup = nullptr;
    QString searchText;
    int searchGeneration = 0;
    int searchGenerationAtStart = 0;
    QString lastQuery;
    QString scopeLabel;
    PstSearchRequest searchScope;
    bool scopePrepared = false;
    bool searchRunning = false;
    bool searchPending = false;
    // A search waits for the background run of the open files (the GUI
    // thread never walks a whole file); it starts when the run arrives.
    bool searchWaiting = false;
    PstCancelFlag cancelFlag;
    QFutureWatcher<PstSearchResponse>* searchWatcher = nullptr;
    std::shared_ptr<PstSearchRecordCache> recordCache;
    bool revealingSearchResult = false;
    QLabel* searchStatusLabel = nullptr;

    // Busy display while files open.
    QWidget* overlay = nullptr;
    SpinnerWidget* spinner = nullptr;
    // Counts showings, so that the hide of an earlier open cannot hide the
    // overlay of a later one.
    int busyGeneration = 0;
};
