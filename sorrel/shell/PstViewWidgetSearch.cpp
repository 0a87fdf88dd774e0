// PstViewWidget: the search box with its field menu and status line, the
// search task, choosing a result, the loader's status texts and the busy
// overlay while files open.

#include "sorrel/shell/PstViewWidget.h"

#include "ui_PstViewWidget.h"

#include "common/AppConfig.h"
#include "common/DocumentPlugin.h"
#include "common/Log.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/shell/SpinnerWidget.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/views/DetailViewController.h"
#include "sorrel/views/PstListController.h"

#include <QActionGroup>
#include <QFutureWatcher>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// The field stored in the settings; anything outside 0..5 searches all.
PstSearchField storedSearchField()
{
    const int value = AppConfig::instance()->pstSearchField();
    return value >= 0 && value <= 5 ? PstSearchField(value) : PstSearchField::Any;
}

QIcon tintedIcon(const QString& path, const QColor& color)
{
    QPixmap pixmap(path);
    if (pixmap.isNull())
        return QIcon(path);
    QPainter p(&pixmap);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(pixmap.rect(), color);
    p.end();
    return QIcon(pixmap);
}

} // namespace

void PstViewWidget::setupSearch()
{
    recordCache = std::make_shared<PstSearchRecordCache>();
    searchTimer = new QTimer(this);
    searchTimer->setSingleShot(true);
    searchTimer->setInterval(250);
    connect(searchTimer, &QTimer::timeout, this, &PstViewWidget::startSearch);
    searchWatcher = new QFutureWatcher<PstSearchResponse>(this);
    connect(searchWatcher, &QFutureWatcherBase::finished, this, &PstViewWidget::onSearchFinished);

    searchStatusLabel = new QLabel(this);
    searchStatusLabel->setObjectName(QStringLiteral("searchStatusLabel"));
    searchStatusLabel->setStyleSheet(QStringLiteral("color: #707070; padding-left: 8px; font-size: 11px;"));
    searchStatusLabel->hide();
    ui->horizontalLayout_4->insertWidget(1, searchStatusLabel, 1);

    ui->searchBox->addAction(QIcon(QStringLiteral(":/img/search.png")), QLineEdit::LeadingPosition);
    QAction* fieldsAction = ui->searchBox->addAction(
        tintedIcon(QStringLiteral(":/img/icons8-down-48.png"), QColor(102, 102, 102)), QLineEdit::TrailingPosition);
    fieldsAction->setToolTip(tr("Search in…"));

    searchFieldMenu = new QMenu;
    searchFieldGroup = new QActionGroup(searchFieldMenu);
    searchFieldGroup->setExclusive(true);
    for (PstSearchField field : {PstSearchField::Any, PstSearchField::From, PstSearchField::Recipient,
                                 PstSearchField::Subject, PstSearchField::Body, PstSearchField::Attachment}) {
        QAction* action = searchFieldMenu->addAction(searchFieldName(int(field)));
        action->setCheckable(true);
        action->setData(int(field));
        searchFieldGroup->addAction(action);
    }
    connect(searchFieldMenu, &QMenu::aboutToShow, this, [this] {
        const int stored = AppConfig::instance()->pstSearchField();
        for (QAction* action : searchFieldGroup->actions())
            action->setChecked(action->data().toInt() == stored);
    });
    connect(searchFieldGroup, &QActionGroup::triggered, this, &PstViewWidget::onSearchFieldChosen);
    connect(fieldsAction, &QAction::triggered, this, [this] {
        const QPoint corner = ui->searchBox->mapToGlobal(ui->searchBox->rect().bottomRight());
        searchFieldMenu->popup(corner - QPoint(searchFieldMenu->sizeHint().width(), 0));
    });
    connect(ui->searchBox, &QLineEdit::textChanged, this, [this](const QString& text) {
        onSearchTextChanged(text);
        requestSessionSave();
    });
}

void PstViewWidget::onSearchFieldChosen(QAction* action)
{
    AppConfig::instance()->setPstSearchField(action->data().toInt());
    if (!trimmedSearchText().isEmpty())
        treatAsTyped();
}

void PstViewWidget::onSearchTextChanged(const QString& text)
{
    searchText = text;
    ++searchGeneration;
    if (cancelFlag)
        cancelFlag->store(true);
    if (!trimmedSearchText().isEmpty()) {
        searchTimer->start();
        return;
    }
    resetSearchScope();
    searchTimer->stop();
    searchWaiting = false;
    listController->setItems(currentFolderItems);
    searchStatusLabel->hide();
}

void PstViewWidget::resetSearchScope()
{
    searchScope = PstSearchRequest();
    scopePrepared = false;
}

void PstViewWidget::startSearch()
{
    const QString query = trimmedSearchText();
    if (query.isEmpty()) {
        listController->setItems(currentFolderItems);
        return;
    }
    if (searchRunning) {
        searchPending = true;
        return;
    }
    // The scope's items come from the background run of the open files;
    // while it is pending the search waits for it instead of walking the
    // files here.
    if (treeController->isPending()) {
        searchWaiting = true;
        searchStatusLabel->setText(tr("Preparing…"));
        searchStatusLabel->show();
        return;
    }
    searchWaiting = false;
    if (!scopePrepared) {
        searchScope = treeController->searchRequestTemplate();
        scopePrepared = true;
    }
    PstSearchRequest request = searchScope;
    request.field = storedSearchField();
    cancelFlag = makeCancelFlag();
    request.cancel = cancelFlag;
    searchRunning = true;
    searchPending = false;
    lastQuery = query;
    searchGenerationAtStart = searchGeneration;
    scopeLabel = request.scopeKind == 0 ? tr("All open PST files") : request.scopeName;
    searchStatusLabel->setText(tr("%1 · Searching…").arg(scopeLabel));
    searchStatusLabel->show();
    for (const QString& path : request.requestedFiles) {
        if (PstFileHandle handle = treeController->documentForPath(path))
            request.openFiles.append({path, handle});
    }
    request.query = query;
    request.cache = recordCache;
    searchWatcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), runSearch, request));
}

void PstViewWidget::onSearchFinished()
{
    searchRunning = false;
    const QFuture<PstSearchResponse> future = searchWatcher->future();
    const PstSearchResponse response = future.resultCount() > 0 ? future.result() : PstSearchResponse();
    const QString text = trimmedSearchText();
    if (searchGeneration == searchGenerationAtStart && lastQuery == text && !response.cancelled) {
        listController->setSearchResults(response.rows, response.terms);
        searchStatusLabel->setText(tr("%1 · %n result(s)", nullptr, int(response.rows.size())).arg(scopeLabel));
    }
    if (text.isEmpty()) {
        listController->setItems(currentFolderItems);
        searchStatusLabel->hide();
        searchPending = false;
    } else if (searchPending) {
        searchPending = false;
        startSearch();
    }
}

void PstViewWidget::onAllItemsReady()
{
    if (searchWaiting && !trimmedSearchText().isEmpty())
        startSearch();
}

void PstViewWidget::onForestAdopted()
{
    if (!trimmedSearchText().isEmpty())
        return;
    // The folder's items are the forest's now; the item being read stays
    // shown and selected.
    const std::shared_ptr<PstItem> reading = currentItem;
    treeController->reselectCurrent();
    if (!reading)
        return;
    for (const std::shared_ptr<PstItem>& item : currentFolderItems) {
        if (item->id() == reading->id() && item->kind() == reading->kind()) {
            listController->selectItem(item);
            break;
        }
    }
}

void PstViewWidget::onSearchResultSelected(const PstSearchResult& result)
{
    const PstFileHandle handle = treeController->documentForPath(result.filePath);
    std::shared_ptr<PstItem> item = handle ? loadItemById(handle, uint64_t(result.record.itemId)) : nullptr;
    if (!item)
        mw::logWarning(QStringLiteral("搜索结果现场解析失败：itemId=%1 文件=%2").arg(result.record.itemId).arg(result.filePath));
    currentItem = item;
    detailController->showItem(item);
    ui->printBtn->setEnabled(bool(item));
    QList<uint64_t> folderPath;
    for (qint64 id : result.record.folderPath)
        folderPath.append(uint64_t(id));
    revealingSearchResult = !trimmedSearchText().isEmpty();
    treeController->selectFolder(result.filePath, folderPath);
    revealingSearchResult = false;
}

void PstViewWidget::showLoaderStatus(const QString& text, const QString& logLine)
{
    if (host)
        host->showStatusMessage(this, text);
    else if (!logLine.isEmpty())
        mw::logInfo(logLine);
}

// ------------------------------------------------------------ busy overlay

void PstViewWidget::setupBusyOverlay()
{
    overlay = new QWidget(this);
    overlay->setObjectName(QStringLiteral("busyOverlay"));
    overlay->setAttribute(Qt::WA_StyledBackground);
    overlay->setStyleSheet(QStringLiteral("background-color: rgba(128,128,128,128);"));
    overlay->hide();
    spinner = new SpinnerWidget(this, 40);
    spinner->setStyleSheet(QStringLiteral("background: transparent;"));
    spinner->hide();
}

void PstViewWidget::showBusy()
{
    ++busyGeneration;
    const QRect area(ui->stackedWidget->mapTo(this, QPoint(0, 0)), ui->stackedWidget->size());
    overlay->setGeometry(area);
    overlay->show();
    overlay->raise();
    spinner->move(area.center() - QPoint(spinner->width() / 2, spinner->height() / 2));
    spinner->showSpinning();
    spinner->raise();
}

void PstViewWidget::hideBusy()
{
    spinner->hideAfterMinimum(300);
    QTimer::singleShot(300, this, [this, showing = busyGeneration] {
        if (showing == busyGeneration)
            overlay->hide();
    });
}
