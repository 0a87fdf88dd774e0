#include "sorrel/shell/PstViewWidget.h"

#include "ui_PstViewWidget.h"

#include "common/AppConfig.h"
#include "common/DocumentPlugin.h"
#include "common/Log.h"
#include "common/ProductProfile.h"
#include "sorrel/export/PstExportDialog.h"
#include "sorrel/items/PstItem.h"
#include "sorrel/print/PstPrinter.h"
#include "sorrel/shell/PstSession.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/views/DetailViewController.h"
#include "sorrel/views/ListViewSortMenu.h"
#include "sorrel/views/PstListController.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

static void initShellResources() { Q_INIT_RESOURCE(sorrel_shell); }

namespace {

const char* const kStyleSheet = R"(
#toolbar, #homePage, #blankPage { background: rgb(240,240,240); }
QTreeView { background: rgb(224,224,224); border: none; border-top: 1px solid rgb(210,210,210); font-size: 12px; }
#sortWidget { background: rgb(224,224,224); border-top: 1px solid rgb(210,210,210); border-right: 1px solid rgb(186,186,186); }
QListView { border: none; border-right: 1px solid rgb(186,186,186); }
#label { color: rgb(139,139,139); font-size: 15px; }
#arrowLabel { border-image: url(:/img/icons8-document-100.png); }
#btnOpenFile { color: white; font-size: 15px; border: none; border-radius: 4px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(101,151,223), stop:1 rgb(82,115,184)); }
#btnOpenFile:pressed { background: rgb(56,98,168); }
#btnSortBy { text-align: left; padding-left: 4px; border: none; background: transparent; }
#btnSortBy:hover { background: rgb(210,210,210); }
#noItemLabel { font-size: 15px; color: rgb(175,175,175); }
QToolButton { font-size: 11px; border: none; }
QToolButton:pressed { color: rgb(68,68,68); }
#searchBox { border: 1px solid #DCDCDC; border-radius: 4px; padding: 3px 6px; background: transparent;
  selection-background-color: #A0A0A0; font-size: 12px; }
#searchBox:hover { border: 1px solid #C0C0C0; }
#searchBox:focus { border: 2px solid rgb(150,180,246); }
QScrollBar:vertical { width: 10px; background: white; margin: 0; }
QScrollBar::handle:vertical { width: 8px; background: rgba(0,0,0,25%); border-radius: 4px; min-height: 20px; }
QScrollBar::handle:vertical:hover { background: rgba(0,0,0,50%); }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
)";

QStringList pstPathsOf(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && PstViewWidget::isPstPath(path))
            paths.append(path);
    }
    return paths;
}

} // namespace

PstViewWidget::PstViewWidget(QWidget* parent, IDocumentWidgetHost* host)
    : QWidget(parent), ui(new Ui::PstViewWidget), host(host)
{
    initShellResources();
    ui->setupUi(this);
    setStyleSheet(QString::fromLatin1(kStyleSheet));
    printProvider = new PstPrinter(this, this);

    ui->exportBtn->hide();
    ui->testBtn->hide();
    setupSearch();

    treeController = new PstTreeController(ui->treeView, this);
    treeController->setObjectName(QStringLiteral("treeController"));
    listController = new PstListController(ui->listView, this);
    detailController = new DetailViewController(
        ui->stackedWidget_2, host ? host->temporaryDirectory() : ProductProfile::tempDirectory(), this);

    sessionPath = pstsession::sessionPathFor();
    sessionSaveTimer = new QTimer(this);
    sessionSaveTimer->setSingleShot(true);
    sessionSaveTimer->setInterval(200);
    connect(sessionSaveTimer, &QTimer::timeout, this, &PstViewWidget::saveSession);

    ui->printBtn->setEnabled(false);
    ui->exportBtn->setEnabled(false);
    ui->convertBtn->setEnabled(false);
    ui->btnItemHide->setEnabled(false);
    ui->btnTreeHide->setEnabled(false);
    ui->searchBox->setEnabled(false);

    // Tree 230, list 290; the detail pane takes the rest of the form's width.
    ui->splitter->setSizes({230, 290, qMax(300, width() - 230 - 290)});
    ui->treeView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->listView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    installEventFilter(this);
    setAcceptDrops(true);

    connect(ui->openBtn, &QToolButton::clicked, this, &PstViewWidget::openFilesFromDialog);
    connect(ui->btnOpenFile, &QPushButton::clicked, this, &PstViewWidget::openFilesFromDialog);
    connect(ui->convertBtn, &QToolButton::clicked, this, [this] { openExportDialog(1); });
    connect(ui->exportBtn, &QToolButton::clicked, this, [this] { openExportDialog(0); });
    connect(ui->printBtn, &QToolButton::clicked, this, &PstViewWidget::printCurrentItem);
    connect(ui->btnTreeHide, &QToolButton::clicked, this, &PstViewWidget::toggleTreePane);
    connect(ui->btnItemHide, &QToolButton::clicked, this, &PstViewWidget::toggleListPane);
    connect(ui->splitter, &QSplitter::splitterMoved, this, [this](int, int index) {
        const QList<int> sizes = ui->splitter->sizes();
        if (index == 1) {
            ui->stackedWidget_2->setMinimumWidth(sizes.value(2));
            ui->treeView->setMinimumWidth(0);
        } else if (index == 2) {
            ui->treeView->setMinimumWidth(sizes.value(0));
            ui->stackedWidget_2->setMinimumWidth(0);
        }
    });

    setupBusyOverlay();
    connectControllers();

    sortMenu = new ListViewSortMenu(this);
    // At least as wide as its button, wider when its entries need it.
    sortMenu->setMinimumWidth(ui->btnSortBy->width());
    connect(ui->btnSortBy, &QPushButton::clicked, this, &PstViewWidget::showSortMenu);
    connect(sortMenu, &ListViewSortMenu::sortChanged, this, &PstViewWidget::onSortChanged);
    ui->btnSortBy->setText(ui->btnSortBy->text() + QStringLiteral("  \u2BC6  "));
    ui->treeView->setIndentation(14);

    QTimer::singleShot(0, this, &PstViewWidget::restoreSession);
}

PstViewWidget::~PstViewWidget()
{
    if (cancelFlag)
        cancelFlag->store(true);
    if (host)
        host->clearStatusMessage(this);
    saveSession();
    delete searchFieldMenu;
    delete ui;
    ui = nullptr;
}

bool PstViewWidget::isPstPath(const QString& path)
{
    return path.endsWith(QLatin1String(".pst"), Qt::CaseInsensitive)
           || path.endsWith(QLatin1String(".ost"), Qt::CaseInsensitive);
}

void PstViewWidget::openFile(QString path)
{
    treeController->openFile(path);
}

void PstViewWidget::refreshSearch()
{
    if (!trimmedSearchText().isEmpty())
        treatAsTyped();
}

void PstViewWidget::connectControllers()
{
    PstTreeController* tree = treeController;
    connect(tree, &PstTreeController::folderSelected, this, &PstViewWidget::onFolderSelected);
    connect(tree, &PstTreeController::pstTreeViewRowChanged, this, &PstViewWidget::onFileCountChanged);
    connect(tree, &PstTreeController::pstFileOpening, this, &PstViewWidget::fileAccessRequested);
    connect(tree, &PstTreeController::pstFileOpened, this, &PstViewWidget::onFileOpened);
    connect(tree, &PstTreeController::pstFileClosed, this, &PstViewWidget::onFileClosed);
    connect(tree, &PstTreeController::openPstFailed, this, &PstViewWidget::onOpenFailed);
    connect(tree, &PstTreeController::openQueueFinished, this, [this] {
        if (restoring)
            applyRestoredSession();
        else
            requestSessionSave();
    });
    connect(ui->searchBox, &QLineEdit::textChanged, this, [this] { requestSessionSave(); });
    connect(ui->treeView, &QTreeView::expanded, this, [this] { requestSessionSave(); });
    connect(ui->treeView, &QTreeView::collapsed, this, [this] { requestSessionSave(); });
    connect(ui->treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { requestSessionSave(); });
    connect(listController, &PstListController::itemSelected, this, &PstViewWidget::onItemSelected);
    connect(listController, &PstListController::searchResultSelected, this, &PstViewWidget::onSearchResultSelected);
    connect(tree, &PstTreeController::forestAdopted, this, &PstViewWidget::onForestAdopted);
    connect(tree, &PstTreeController::allItemsReady, this, &PstViewWidget::onAllItemsReady);
    connect(tree, &PstTreeController::searchIndexPreparing, this, [this] { showLoaderStatus(tr("Building index…")); });
    connect(tree, &PstTreeController::allItemsLoadingStarted, this, [this] { showLoaderStatus(tr("Preparing…")); });
    connect(tree, &PstTreeController::searchIndexProgressChanged, this, [this](int done, int total) {
        showLoaderStatus(tr("Building index %1/%2").arg(done).arg(total),
                         QStringLiteral("建立索引 %1/%2").arg(done).arg(total));
    });
    connect(tree, &PstTreeController::searchIndexBuildFinished, this, [this] {
        if (host)
            host->clearStatusMessage(this);
    });
    connect(tree, &PstTreeController::loadingStarted, this, &PstViewWidget::showBusy);
    connect(tree, &PstTreeController::loadingFinished, this, &PstViewWidget::hideBusy);
}

void PstViewWidget::onFolderSelected(const QList<std::shared_ptr<PstItem>>& items)
{
    currentFolderItems = items;
    if (revealingSearchResult && !trimmedSearchText().isEmpty())
        return;  // the tree follows a chosen result; the results stay listed
    if (!ui->searchBox->text().isEmpty())
        ui->searchBox->clear();
    listController->setItems(items);
}

void PstViewWidget::onItemSelected(const std::shared_ptr<PstItem>& item)
{
    currentItem = item;
    detailController->showItem(item);
    ui->printBtn->setEnabled(bool(item));
    if (item) {
        revealingSearchResult = !trimmedSearchText().isEmpty();
        treeController->revealItem(item);
        revealingSearchResult = false;
    }
}

void PstViewWidget::onFileCountChanged(int fileCount)
{
    const bool any = fileCount > 0;
    for (QWidget* w : {static_cast<QWidget*>(ui->convertBtn), static_cast<QWidget*>(ui->exportBtn),
                       static_cast<QWidget*>(ui->btnItemHide), static_cast<QWidget*>(ui->btnTreeHide),
                       static_cast<QWidget*>(ui->searchBox)})
        w->setEnabled(any);
    if (!any) {
        currentFolderItems.clear();
        searchText.clear();
        lastQuery.clear();
        listController->setItems({});
        ui->stackedWidget->setCurrentWidget(ui->homePage);
    } else {
        ui->stackedWidget->setCurrentWidget(ui->mainPage);
        if (!trimmedSearchText().isEmpty())
            startSearch();
    }
}

void PstViewWidget::onFileOpened(const QString& path)
{
    emit fileOpened(path);
    recordCache = std::make_shared<PstSearchRecordCache>();
    if (!trimmedSearchText().isEmpty()) {
        scopePrepared = false;
        treatAsTyped();
    }
    requestSessionSave();
}

void PstViewWidget::onFileClosed(const QString& path)
{
    emit fileClosed(path);
    currentFolderItems.clear();
    listController->setItems({});
    currentItem.reset();
    detailController->showItem({});
    ui->printBtn->setEnabled(false);
    recordCache = std::make_shared<PstSearchRecordCache>();
    resetSearchScope();
    onSearchTextChanged(ui->searchBox->text());
    requestSessionSave();
}

void PstViewWidget::onOpenFailed(const QString& path)
{
    emit fileOpenFailed(path);
    if (!restoring)
        QMessageBox::warning(this, tr("Warning"), tr("Error opening file."));
}

void PstViewWidget::onSortChanged(const QString& field, const QString& order)
{
    int column = 0;
    int direction = -1;
    if (field == QLatin1String("subject") || field == QLatin1String("date")) {
        column = field == QLatin1String("subject") ? 1 : 3;
        if (order == QLatin1String("desc"))
            direction = 1;
        else if (order == QLatin1String("asc"))
            direction = 0;
    }
    listController->sortBy(column, direction);
}

void PstViewWidget::showSortMenu()
{
    if (listController->isEmpty())
        return;
    sortMenu->popup(ui->btnSortBy->mapToGlobal(ui->btnSortBy->rect().bottomLeft()));
}

void PstViewWidget::openFilesFromDialog()
{
    mw::logInfo(QStringLiteral("Click the open button."));
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Select File"), AppConfig::instance()->lastOpenPath(),
                                                            tr("Outlook Data Files (*.pst *.ost)"));
    if (files.isEmpty()) {
        mw::logInfo(QStringLiteral("Document deselected."));
        return;
    }
    AppConfig::instance()->setLastOpenPath(QFileInfo(files.first()).absolutePath());
    for (const QString& file : files)
        treeController->openFile(file);
}

void PstViewWidget::openExportDialog(int mode)
{
    const bool convert = mode == 1;
    mw::logInfo(convert ? QStringLiteral("Click the convert button.") : QStringLiteral("Click the export button."));
    const PstFolderItemPtr fileNode = treeController->currentFileNode();
    if (!fileNode) {
        mw::logInfo(QStringLiteral("No Pst file selected."));
        return;
    }
    // The labels are crossed on purpose: log readers know them this way.
    const QString action = convert ? QStringLiteral("Export") : QStringLiteral("Convert");
    // The background run's forest is fully loaded: the dialog's tree and the
    // conversion then never parse on the GUI thread.
    const PstFolderItemPtr prebuilt = treeController->prebuiltTreeFor(fileNode->filePath());
    mw::logInfo(prebuilt ? QStringLiteral("%1: cloning from the prebuilt index tree.").arg(action)
                         : QStringLiteral("%1: prebuilt tree not ready, cloning the UI node.").arg(action));
    auto* dialog = new PstExportDialog(mode, this);
    dialog->prepare(prebuilt ? prebuilt : fileNode);
    dialog->show();
}

void PstViewWidget::printCurrentItem()
{
    mw::logInfo(QStringLiteral("Click the print button."));
    if (currentItem)
        printProvider->printItem(*currentItem);
}

bool PstViewWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (e->mimeData()->hasUrls() && !pstPathsOf(e->mimeData()).isEmpty()) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (e->mimeData()->hasUrls())
            e->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        for (const QString& path : pstPathsOf(e->mimeData()))
            treeController->openFile(path);
        e->acceptProposedAction();
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void PstViewWidget::closeEvent(QCloseEvent* event)
{
    saveSession();
    QWidget::closeEvent(event);
}

void PstViewWidget::requestSessionSave()
{
    if (!restoring)
        sessionSaveTimer->start();
}

void PstViewWidget::saveSession()
{
    // A restore in progress has not yet brought back what the file lists:
    // the previous file stays until it is applied.
    if (restoring || !ui || !treeController)
        return;
    sessionSaveTimer->stop();
    PstSession session;
    session.openFiles = treeController->sessionFiles();
    session.expandedTreePaths = treeController->expandedKeys();
    session.currentTreePath = treeController->currentKey();
    session.searchText = ui->searchBox->text();
    if (!pstsession::writeSession(sessionPath, session))
        mw::logWarning(QStringLiteral("Failed to save PST workspace state."));
}

void PstViewWidget::restoreSession()
{
    const PstSession session = pstsession::readSession(sessionPath);
    restoredFiles = session.openFiles;
    restoredExpanded = session.expandedTreePaths;
    restoredCurrent = session.currentTreePath;
    restoredSearchText = session.searchText;
    if (restoredFiles.isEmpty()) {
        applyRestoredSession();
        return;
    }
    restoring = true;
    for (const QString& path : std::as_const(restoredFiles))
        treeController->openFile(path);
    // Every listed file was already open or unusable as a path: the queue
    // never ran, so nothing will report its end.
    if (!treeController->isBusy())
        applyRestoredSession();
}

void PstViewWidget::applyRestoredSession()
{
    treeController->applyKeys(restoredExpanded, restoredCurrent, true);
    // A session without search text leaves what the user typed meanwhile.
    if (!restoredSearchText.isEmpty())
        ui->searchBox->setText(restoredSearchText);
    restoring = false;
    requestSessionSave();
}

void PstViewWidget::showEvent(QShowEvent* event) { QWidget::showEvent(event); }

void PstViewWidget::setPaneHidden(int index, bool hide, int& savedWidth)
{
    QList<int> sizes = ui->splitter->sizes();
    if (sizes.size() < 3)
        return;
    const int last = sizes.size() - 1;
    if (hide) {
        savedWidth = sizes[index];
        sizes[last] += sizes[index];
        sizes[index] = 0;
    } else {
        const int give = qMin(savedWidth, sizes[last]);
        sizes[last] -= give;
        sizes[index] = savedWidth;
    }
    ui->splitter->setSizes(sizes);
}

void PstViewWidget::toggleTreePane()
{
    treePaneHidden = !treePaneHidden;
    setPaneHidden(0, treePaneHidden, treePaneSavedWidth);
    ui->btnTreeHide->setIcon(QIcon(treePaneHidden ? QStringLiteral(":/img/show1.png") : QStringLiteral(":/img/hide1.png")));
}

void PstViewWidget::toggleListPane()
{
    listPaneHidden = !listPaneHidden;
    setPaneHidden(1, listPaneHidden, listPaneSavedWidth);
    ui->btnItemHide->setIcon(QIcon(listPaneHidden ? QStringLiteral(":/img/show2.png") : QStringLiteral(":/img/hide2.png")));
}
