#include "host/window/MainWindow.h"

#include "ui_MainWindow.h"

#include "common/AppConfig.h"
#include "common/Log.h"
#include "common/ProductProfile.h"
#include "host/plugin/DocumentPluginManager.h"
#include "host/window/BookmarkListDialog.h"
#include "host/window/BrowserTabWidget.h"
#include "host/window/HomeModuleCard.h"
#include "host/window/RecentFiles.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

static void initHostWindowResources() { Q_INIT_RESOURCE(host_window); }

namespace {

struct Module {
    const char* id;
    QStringList suffixes;
    const char* label;
    const char* filterLabel;
};

const QList<Module>& modules()
{
    static const QList<Module> table = {
        {"pdf", {".pdf"}, QT_TRANSLATE_NOOP("MainWindow", "PDF Reader"), QT_TRANSLATE_NOOP("MainWindow", "PDF Files (%1)")},
        {"djvu", {".djvu", ".djv"}, QT_TRANSLATE_NOOP("MainWindow", "DjVu Reader"),
         QT_TRANSLATE_NOOP("MainWindow", "DjVu Files (%1)")},
        {"xps", {".xps", ".oxps"}, QT_TRANSLATE_NOOP("MainWindow", "XPS Reader"), QT_TRANSLATE_NOOP("MainWindow", "XPS Files (%1)")},
        {"visio", {".vsd", ".vsdx", ".vdx"}, QT_TRANSLATE_NOOP("MainWindow", "Visio Reader"),
         QT_TRANSLATE_NOOP("MainWindow", "Visio Files (%1)")},
        {"pst", {".pst", ".ost"}, QT_TRANSLATE_NOOP("MainWindow", "PST Reader"),
         QT_TRANSLATE_NOOP("MainWindow", "Outlook PST Files (%1)")},
        {"winmail", {".dat", ".tnef"}, QT_TRANSLATE_NOOP("MainWindow", "Winmail Reader"),
         QT_TRANSLATE_NOOP("MainWindow", "Winmail Files (%1)")},
        {"wpd", {".wpd", ".wp", ".wp5", ".wp6", ".w51", ".w52", ".w60", ".w61", ".wpt", ".frm"},
         QT_TRANSLATE_NOOP("MainWindow", "WPD Reader"), QT_TRANSLATE_NOOP("MainWindow", "WPD Files (%1)")},
    };
    return table;
}

const Module* findModule(const QString& moduleId)
{
    for (const Module& module : modules()) {
        if (QLatin1String(module.id) == moduleId)
            return &module;
    }
    return nullptr;
}

// The home page's cards: module id, grid cell, title, description, badge.
struct Card {
    const char* id;
    int row;
    int column;
    const char* title;
    const char* description;
    const char* badge;
};

const Card kCards[] = {
    {"pdf", 0, 0, QT_TRANSLATE_NOOP("MainWindow", "PDF Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "Experience flawless reading and accurate rendering of PDF documents."),
     QT_TRANSLATE_NOOP("MainWindow", "Free")},
    {"pst", 0, 1, QT_TRANSLATE_NOOP("MainWindow", "PST Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "Explore PST files to read emails, convert formats, and save attachments."), ""},
    {"winmail", 0, 2, QT_TRANSLATE_NOOP("MainWindow", "Winmail Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "Extract emails and attachments seamlessly from Winmail.dat files."), ""},
    {"wpd", 0, 3, QT_TRANSLATE_NOOP("MainWindow", "WPD Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "Preserve original formatting and layout of WordPerfect (WPD) documents."), ""},
    {"djvu", 1, 0, QT_TRANSLATE_NOOP("MainWindow", "DjVu Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "Browse DjVu files smoothly, or convert them to PDF effortlessly."), ""},
    {"xps", 1, 1, QT_TRANSLATE_NOOP("MainWindow", "XPS Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "View XPS files with original layout, or convert them to PDF easily."), ""},
    {"visio", 1, 2, QT_TRANSLATE_NOOP("MainWindow", "Visio Reader"),
     QT_TRANSLATE_NOOP("MainWindow", "Inspect complex Visio diagrams and flowcharts with crystal-clear detail."), ""},
};

QString nativeText(const char* text) { return QCoreApplication::translate("NativeMessageBox", text); }

// A warning box with one OK button; a box about a file names the file below
// the stock text.
void warnBox(QWidget* parent, const char* title, const QString& text, const QString& filePath = QString())
{
    QMessageBox box(QMessageBox::Warning, nativeText(title), text, QMessageBox::Ok, parent);
    if (!filePath.isEmpty())
        box.setInformativeText(QDir::toNativeSeparators(filePath));
    box.exec();
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(ProductProfile::editionId(), parent) {}

MainWindow::MainWindow(const QString& editionId, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), edition(editionId)
{
    initHostWindowResources();
    pluginManager = new DocumentPluginManager(this);
    ui->setupUi(this);
    setWindowTitle(ProductProfile::displayName());
    announcedTitle = windowTitle();

    pluginManager->loadPlugins();

    const char* requiredSuffix = isEdition("MARROWIN") ? ".pst" : isEdition("TASSELBY") ? ".dat" : nullptr;
    if (requiredSuffix && !pluginManager->canOpenExtension(QLatin1String(requiredSuffix))) {
        mw::logWarning(QStringLiteral("No document plugin for %1 files found; the program ends.")
                           .arg(QLatin1String(requiredSuffix)));
        const QString text = isEdition("MARROWIN") ? tr("Failed to load PST document component. Please reinstall %1.")
                                                   : tr("Failed to load Winmail document component. Please reinstall %1.");
        QMessageBox::critical(this, tr("Launch Failed"), text.arg(QString::fromLatin1(ProductProfile::kApplicationName)));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return;
    }

    if (isEdition("LUMENFOLD") || isEdition("MARROWIN")) {
        pstPage = ui->pstPage;
        pstPage->installEventFilter(this);
        pstPage->setAcceptDrops(true);
    }
    if (isEdition("LUMENFOLD")) {
        homeMode = true;
        homePage = ui->homePage;
        readerPage = ui->readerPage;
        winmailPage = ui->winmailPage;
        buildHomePage();
        ui->stackedWidget->setCurrentWidget(homePage);
    } else if (isEdition("MARROWIN")) {
        ui->toolbarWidget->hide();
        if (ensurePstModuleWidget()) {
            ui->stackedWidget->setCurrentWidget(pstPage);
            setActiveModule(QStringLiteral("pst"));
        }
    } else if (isEdition("TASSELBY")) {
        setActiveModule(QStringLiteral("winmail"));
        ui->stackedWidget->setCurrentWidget(ui->winmailPage);
        ui->winmailContentStack->setCurrentWidget(ui->winmailEmptyPage);
    } else {
        ui->stackedWidget->setCurrentWidget(ui->readerPage);
        ui->readerContentStack->setCurrentWidget(ui->emptyPage);
    }

    for (QWidget* w : {static_cast<QWidget*>(ui->tabWidget), static_cast<QWidget*>(ui->winmailTabWidget),
                       ui->emptyPage, ui->winmailEmptyPage}) {
        w->installEventFilter(this);
        w->setAcceptDrops(true);
    }
    setAcceptDrops(true);

    for (QWidget* child : ui->toolbarWidget->findChildren<QWidget*>())
        child->setEnabled(false);
    ui->searchBox->addAction(QIcon(QStringLiteral(":/img/search.png")), QLineEdit::LeadingPosition);

    connect(ui->tabWidget, &BrowserTabWidget::allTabClosed, this, [this] { showEmptyPageAfterLastTab(false); });
    connect(ui->winmailTabWidget, &BrowserTabWidget::allTabClosed, this, [this] { showEmptyPageAfterLastTab(true); });
    connect(ui->tabWidget, &BrowserTabWidget::addFileClicked, this, &MainWindow::on_btnOpenFile_clicked);
    connect(ui->winmailTabWidget, &BrowserTabWidget::addFileClicked, this, &MainWindow::on_btnOpenFile_clicked);
    connect(ui->btnOpenWinmailFile, &QPushButton::clicked, this, &MainWindow::on_btnOpenFile_clicked);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &MainWindow::refreshBookmarkState);
    connect(ui->winmailTabWidget, &QTabWidget::currentChanged, this, &MainWindow::refreshBookmarkState);

    if (isEdition("TASSELBY") || isEdition("MARROWIN"))
        ui->toolbarWidget->hide();
}

MainWindow::~MainWindow()
{
    // Module widgets call back into this window (clearStatusMessage) while
    // they are destroyed, so they must go while the window is still whole.
    delete pstModuleWidget.data();
    while (ui->tabWidget->count() > 0)
        delete ui->tabWidget->widget(0);
    while (ui->winmailTabWidget->count() > 0)
        delete ui->winmailTabWidget->widget(0);
    delete ui;
}

bool MainWindow::isEdition(const char* editionId) const { return edition == QLatin1String(editionId); }

QString MainWindow::moduleIdForFile(const QString& path)
{
    const QString suffix = QLatin1Char('.') + QFileInfo(path).suffix().toLower();
    for (const Module& module : modules()) {
        if (module.suffixes.contains(suffix))
            return QString::fromLatin1(module.id);
    }
    return QString();
}

QString MainWindow::moduleLabel(const QString& moduleId)
{
    const Module* module = findModule(moduleId);
    return module ? tr(module->label) : ProductProfile::displayName();
}

QSize MainWindow::initialSize(const QSize& available)
{
    if (available.width() < 1104 + 204 || available.height() < 750 + 190)
        return QSize(900, 560);
    return QSize(1104, 750);
}

void MainWindow::buildHomePage()
{
    ui->homePage->setStyleSheet(
        QStringLiteral("#homePage { background: #f3f4f6; }#homeSubtitle { color: #64748b; font-size: 14px; }"));
    for (QPushButton* placeholder : {ui->btnHomePdf, ui->btnHomePst, ui->btnHomeWinmail, ui->btnHomeWpd,
                                     ui->btnHomeDjvu, ui->btnHomeXps, ui->btnHomeVisio}) {
        ui->homeModulesGrid->removeWidget(placeholder);
        placeholder->hide();
    }
    for (const Card& card : kCards) {
        const QString id = QString::fromLatin1(card.id);
        auto* widget = new HomeModuleCard(id, tr(card.title), tr(card.description), QColor(),
                                          *card.badge ? tr(card.badge) : QString(), ui->homePage);
        widget->setClickHandler([this, id] { onHomeCardClicked(id); });
        ui->homeModulesGrid->addWidget(widget, card.row, card.column);
    }
}

void MainWindow::onHomeCardClicked(const QString& moduleId)
{
    if (moduleId == QLatin1String("pst")) {
        setActiveModule(QString());
        showPstPage();
    } else if (moduleId == QLatin1String("winmail")) {
        showModulePage(moduleId);
    } else {
        setActiveModule(moduleId);
        showModulePage(moduleId);
    }
}

void MainWindow::showPstPage()
{
    if (!ensurePstModuleWidget())
        return;
    ui->stackedWidget->setCurrentWidget(pstPage);
    refreshBookmarkState();
    if (homeMode)
        emit homePageActiveChanged(false);
    updateTitle();
}

bool MainWindow::ensurePstModuleWidget()
{
    if (pstModuleWidget)
        return true;
    if (!pstPage)
        return false;
    QString error;
    QWidget* widget = pluginManager->createWidgetForExtension(QStringLiteral(".pst"), pstPage, this, &error);
    if (!widget) {
        warnBox(this, "Open Failed", error.isEmpty() ? nativeText("Unable to open the document.") : error);
        return false;
    }
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(widget, SIGNAL(fileAccessRequested(QString)), this, SLOT(onPstFileAccessRequested(QString)));
    connect(widget, SIGNAL(fileOpened(QString)), this, SLOT(onPstFileOpened(QString)));
    connect(widget, SIGNAL(fileClosed(QString)), this, SLOT(onPstFileClosed(QString)));
    connect(widget, SIGNAL(fileOpenFailed(QString)), this, SLOT(onPstFileOpenFailed(QString)));
    pstPage->layout()->addWidget(widget);
    widget->show();
    pstModuleWidget = widget;
    return true;
}

bool MainWindow::isPstModuleFile(const QString& path) const
{
    if (!pstPage)
        return false;
    if (QFileInfo(path).suffix().compare(QLatin1String("pst"), Qt::CaseInsensitive) == 0)
        return true;
    // Whatever else the PST module's plug-in reads goes to its page as well.
    IDocumentWidgetPlugin* plugin = pluginManager->widgetPluginForFile(path);
    return plugin && plugin == pluginManager->widgetPluginForFile(QStringLiteral("x.pst"));
}

void MainWindow::openFile(const QString& path)
{
    if (path.isEmpty())
        return;
    mw::logInfo(QStringLiteral("Open file:") + path);
    const QFileInfo info(path);
    if (!info.exists()) {
        mw::logWarning(QStringLiteral("File not found:") + path);
        warnBox(this, "Open Failed", nativeText("File does not exist."), path);
        return;
    }
    const QString absolute = info.absoluteFilePath();

    if (isPstModuleFile(path)) {
        AppConfig::instance()->setLastOpenPath(info.absolutePath());
        if (!ensurePstModuleWidget())
            return;
        QMetaObject::invokeMethod(pstModuleWidget, "openFile", Qt::AutoConnection, Q_ARG(QString, absolute));
        ui->stackedWidget->setCurrentWidget(pstPage);
        setActiveModule(QStringLiteral("pst"));
        if (homeMode)
            emit homePageActiveChanged(false);
        return;
    }

    const QString moduleId = moduleIdForFile(path);
    if (homeMode || isEdition("TASSELBY"))
        setActiveModule(moduleId);

    BrowserTabWidget* tabs = tabWidgetForModule(moduleId);
    const int open = tabs->indexOfFile(absolute);
    if (open >= 0) {
        AppConfig::instance()->setLastOpenPath(info.absolutePath());
        addRecentFile(absolute);
        tabs->setCurrentIndex(open);
        showModulePage(moduleId);
        return;
    }
    if (pluginManager->canOpenFile(path) && pluginManager->hasWidgetPluginForFile(path)) {
        openInNewTab(path);
    } else {
        mw::logWarning(QStringLiteral("No document plugin can open:") + path);
        warnBox(this, "Unsupported Format", nativeText("No document plugin can open this file."), path);
    }
}

void MainWindow::openInNewTab(const QString& path)
{
    const QFileInfo info(path);
    const QString moduleId = moduleIdForFile(path);
    BrowserTabWidget* tabs = tabWidgetForModule(moduleId);
    QString error;
    QWidget* widget = pluginManager->createWidgetForFile(path, tabs, this, &error);
    if (!widget) {
        warnBox(this, "Open Failed", error.isEmpty() ? nativeText("Unable to open the document.") : error, path);
        return;
    }
    const QString absolute = info.absoluteFilePath();
    widget->setProperty("sourceFilePath", absolute);
    AppConfig::instance()->setLastOpenPath(info.absolutePath());
    addRecentFile(absolute);
    const int index = tabs->addTab(widget, info.fileName());
    tabs->setTabToolTip(index, info.fileName());
    tabs->registerFile(absolute);
    tabs->setCurrentIndex(index);
    showModulePage(moduleId);
}

void MainWindow::showModulePage(const QString& moduleId)
{
    if (moduleId == QLatin1String("winmail")) {
        setActiveModule(moduleId);
        ui->stackedWidget->setCurrentWidget(ui->winmailPage);
        ui->winmailContentStack->setCurrentWidget(ui->winmailTabWidget->count() > 0 ? ui->winmailTabPage
                                                                                      : ui->winmailEmptyPage);
    } else {
        ui->stackedWidget->setCurrentWidget(ui->readerPage);
        QTabWidget* tabs = ui->tabWidget;
        auto belongs = [this](QWidget* w) {
            return activeModuleId.isEmpty()
                   || moduleIdForFile(w->property("sourceFilePath").toString()) == activeModuleId;
        };
        int index = -1;
        if (tabs->currentWidget() && belongs(tabs->currentWidget())) {
            index = tabs->currentIndex();
        } else {
            for (int i = 0; i < tabs->count() && index < 0; ++i) {
                if (belongs(tabs->widget(i)))
                    index = i;
            }
        }
        if (index >= 0) {
            tabs->setCurrentIndex(index);
            ui->readerContentStack->setCurrentWidget(ui->tabPage);
        } else {
            ui->readerContentStack->setCurrentWidget(ui->emptyPage);
        }
    }
    refreshBookmarkState();
    if (homeMode)
        emit homePageActiveChanged(false);
    updateTitle();
}

void MainWindow::showEmptyPageAfterLastTab(bool winmail)
{
    if (winmail) {
        ui->stackedWidget->setCurrentWidget(ui->winmailPage);
        ui->winmailContentStack->setCurrentWidget(ui->winmailEmptyPage);
    } else {
        ui->stackedWidget->setCurrentWidget(ui->readerPage);
        ui->readerContentStack->setCurrentWidget(ui->emptyPage);
    }
    refreshBookmarkState();
    for (QWidget* child : ui->toolbarWidget->findChildren<QWidget*>())
        child->setEnabled(false);
    emit bookmarkCommandsEnabledChanged(false);
}

BrowserTabWidget* MainWindow::tabWidgetForModule(const QString& moduleId) const
{
    return moduleId == QLatin1String("winmail") ? ui->winmailTabWidget : ui->tabWidget;
}

void MainWindow::setActiveModule(const QString& moduleId)
{
    activeModuleId = moduleId;
    updateTitle();
}

void MainWindow::updateTitle()
{
    // The title follows the page only in the all-modules edition.
    if (!homeMode)
        return;
    QWidget* current = ui->stackedWidget->currentWidget();
    QString title = ProductProfile::displayName();
    if (current == pstPage)
        title = moduleLabel(QStringLiteral("pst"));
    else if (current == winmailPage)
        title = moduleLabel(QStringLiteral("winmail"));
    else if (current == readerPage)
        title = moduleLabel(activeModuleId);
    setWindowTitle(title);
    if (title != announcedTitle) {
        announcedTitle = title;
        emit lumenfoldWindowTitleChanged(title);
    }
}

bool MainWindow::isAllowedInActiveModule(const QString& path) const
{
    if (!(homeMode || isEdition("TASSELBY")) || activeModuleId.isEmpty())
        return true;
    const Module* module = findModule(activeModuleId);
    return module && module->suffixes.contains(QLatin1Char('.') + QFileInfo(path).suffix().toLower());
}

bool MainWindow::openFileIfAllowed(const QString& path)
{
    if (!isAllowedInActiveModule(path)) {
        warnBox(this, "Unsupported Format", tr("This file type is not available in the current reader module."), path);
        return false;
    }
    openFile(path);
    return true;
}

QString MainWindow::openDialogFilter() const
{
    if (!(homeMode || isEdition("TASSELBY")))
        return pluginManager->openFileFilter();
    const Module* module = findModule(activeModuleId);
    QStringList patterns;
    for (const QString& suffix : module ? module->suffixes : QStringList())
        patterns.append(QLatin1Char('*') + suffix);
    const QString joined = patterns.join(QLatin1Char(' '));
    if (module)
        return tr(module->filterLabel).arg(joined);
    return tr("Supported Documents (%1)").arg(joined) + QStringLiteral(";;") + tr("All Files (*)");
}

void MainWindow::on_btnOpenFile_clicked()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Open Document"), AppConfig::instance()->lastOpenPath(),
                                                            openDialogFilter());
    mw::logInfo(QStringLiteral("Open file dialog: selected%1file(s)").arg(files.size()));
    for (const QString& file : files)
        openFileIfAllowed(file);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (!e->mimeData()->hasUrls())
            break;
        for (const QUrl& url : e->mimeData()->urls()) {
            const QString path = url.toLocalFile();
            if (!pluginManager->canOpenFile(path) || !isAllowedInActiveModule(path)) {
                e->ignore();
                return true;
            }
        }
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return true;
    }
    case QEvent::DragMove:
        static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        for (const QUrl& url : e->mimeData()->urls())
            openFileIfAllowed(url.toLocalFile());
        e->acceptProposedAction();
        return true;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

QString MainWindow::temporaryDirectory() const { return ProductProfile::tempDirectory(); }

void MainWindow::showStatusMessage(QObject* owner, const QString& text)
{
    if (statusMessages.show(owner, text))
        refreshStatusBar();
}

void MainWindow::clearStatusMessage(QObject* owner)
{
    if (statusMessages.clear(owner))
        refreshStatusBar();
}

void MainWindow::refreshStatusBar()
{
    if (!statusMessages.isEmpty()) {
        if (!statusBarWidget) {
            statusBarWidget = new QStatusBar(this);
            statusBarWidget->setSizeGripEnabled(false);
            setStatusBar(statusBarWidget);
        }
        statusBarWidget->showMessage(statusMessages.shownText());
        statusBarWidget->show();
    } else if (statusBarWidget) {
        statusBarWidget->clearMessage();
        statusBarWidget->hide();
    }
}

void MainWindow::refreshBookmarkState()
{
    QWidget* current = ui->stackedWidget->currentWidget();
    if (homeMode)
        ui->toolbarWidget->setVisible(current == ui->readerPage);
    if (homeMode || (!isEdition("TASSELBY") && !isEdition("MARROWIN"))) {
        for (QWidget* child : ui->toolbarWidget->findChildren<QWidget*>())
            child->setEnabled(false);
    }
    QTabWidget* tabs = nullptr;
    if (current == ui->winmailPage)
        tabs = ui->winmailTabWidget;
    else if (!homeMode || (current == ui->readerPage && ui->readerContentStack->currentWidget() == ui->tabPage))
        tabs = ui->tabWidget;
    bool enabled = false;
    if (QWidget* widget = tabs ? tabs->currentWidget() : nullptr) {
        const QString path = widget->property("sourceFilePath").toString();
        if (!path.isEmpty()) {
            if (IDocumentWidgetPlugin* plugin = pluginManager->widgetPluginForFile(path))
                enabled = plugin->supportsBookmarks(path);
        }
    }
    emit bookmarkCommandsEnabledChanged(enabled);
}

void MainWindow::showHomePage()
{
    if (!homeMode)
        return;
    ui->stackedWidget->setCurrentWidget(homePage);
    refreshBookmarkState();
    updateTitle();
    emit homePageActiveChanged(true);
}

void MainWindow::on_btnBookmarks_clicked() {}

void MainWindow::showBookmarkManagerDialog()
{
    auto* dialog = new BookmarkListDialog(QStringList(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &BookmarkListDialog::jumpToPage, this, [](const QString&, int) {});
    dialog->show();
}

void MainWindow::on_btnPrint_clicked() { mw::logInfo(QStringLiteral("Print document")); }

void MainWindow::on_btnSave_clicked() { mw::logInfo(QStringLiteral("Export to PDF")); }

void MainWindow::onPstFileAccessRequested(QString path) { pstAccess.insert(path, AccessState::Requested); }

void MainWindow::onPstFileOpened(QString path)
{
    pstAccess.insert(path, AccessState::Opened);
    addRecentFile(path);
}

void MainWindow::onPstFileClosed(QString path) { pstAccess.insert(path, AccessState::Closed); }

void MainWindow::onPstFileOpenFailed(QString path) { pstAccess.insert(path, AccessState::Failed); }
