#include "host/window/MainWindow.h"

#include "ui_MainWindow.h"

#include "common/AppConfig.h"
#include "common/Log.h"
#include "common/ProductProfile.h"
#include "host/plugin/DocumentPluginManager.h"

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
};

const QList<Module>& modules()
{
    static const QList<Module> table = {
        {"pdf", {".pdf"}},
        {"djvu", {".djvu", ".djv"}},
        {"xps", {".xps", ".oxps"}},
        {"visio", {".vsd", ".vsdx", ".vdx"}},
        {"pst", {".pst", ".ost"}},
        {"winmail", {".dat", ".tnef"}},
        {"wpd", {".wpd", ".wp", ".wp5", ".wp6", ".w51", ".w52", ".w60", ".w61", ".wpt", ".frm"}},
    };
    return table;
}

QString nativeText(const char* text) { return QCoreApplication::translate("NativeMessageBox", text); }

void warnBox(QWidget* parent, const char* title, const QString& text)
{
    QMessageBox::warning(parent, nativeText(title), text);
}

bool isEdition(const char* edition) { return qstrcmp(ProductProfile::kEditionId, edition) == 0; }

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    initHostWindowResources();
    pluginManager = new DocumentPluginManager(this);
    ui->setupUi(this);
    setWindowTitle(ProductProfile::displayName());

    pluginManager->loadPlugins();

    if (isEdition("MARROWIN") && !pluginManager->canOpenExtension(QStringLiteral(".pst"))) {
        mw::logWarning(QStringLiteral("No document plugin for .pst files found; the program ends."));
        QMessageBox::critical(this, tr("Launch Failed"),
                              tr("Failed to load PST document component. Please reinstall %1.")
                                  .arg(QString::fromLatin1(ProductProfile::kApplicationName)));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return;
    }

    if (isEdition("MARROWIN")) {
        ui->toolbarWidget->hide();
        pstPage = ui->pstPage;
        pstPage->installEventFilter(this);
        pstPage->setAcceptDrops(true);
        ensurePstModuleWidget();
        ui->stackedWidget->setCurrentWidget(pstPage);
        setActiveModule(QStringLiteral("pst"));
    } else {
        // The home page and the attachment page of the other editions arrive
        // with the document tabs.
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

QString MainWindow::moduleIdForFile(const QString& path)
{
    const QString suffix = QLatin1Char('.') + QFileInfo(path).suffix().toLower();
    for (const Module& module : modules()) {
        if (module.suffixes.contains(suffix))
            return QString::fromLatin1(module.id);
    }
    return QString();
}

QSize MainWindow::initialSize(const QSize& available)
{
    if (available.width() < 1104 + 204 || available.height() < 750 + 190)
        return QSize(900, 560);
    return QSize(1104, 750);
}

bool MainWindow::ensurePstModuleWidget()
{
    if (pstModuleWidget)
        return true;
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
        warnBox(this, "Open Failed", nativeText("File does not exist."));
        return;
    }

    if (isPstModuleFile(path)) {
        AppConfig::instance()->setLastOpenPath(info.absolutePath());
        if (!ensurePstModuleWidget())
            return;
        QMetaObject::invokeMethod(pstModuleWidget, "openFile", Qt::AutoConnection, Q_ARG(QString, info.absoluteFilePath()));
        ui->stackedWidget->setCurrentWidget(pstPage);
        setActiveModule(QStringLiteral("pst"));
        return;
    }

    const QString moduleId = moduleIdForFile(path);
    if (homeMode || isEdition("TASSELBY"))
        setActiveModule(moduleId);

    QTabWidget* tabs = tabWidgetForModule(moduleId);
    const QString absolute = info.absoluteFilePath();
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->property("sourceFilePath").toString() == absolute) {
            AppConfig::instance()->setLastOpenPath(info.absolutePath());
            tabs->setCurrentIndex(i);
            showModulePage(moduleId);
            return;
        }
    }
    if (pluginManager->canOpenFile(path) && pluginManager->hasWidgetPluginForFile(path))
        openInNewTab(path);
    else
        warnBox(this, "Unsupported Format", nativeText("No document plugin can open this file."));
}

void MainWindow::openInNewTab(const QString& path)
{
    const QFileInfo info(path);
    const QString moduleId = moduleIdForFile(path);
    QTabWidget* tabs = tabWidgetForModule(moduleId);
    QString error;
    QWidget* widget = pluginManager->createWidgetForFile(path, tabs, this, &error);
    if (!widget) {
        warnBox(this, "Open Failed", error.isEmpty() ? nativeText("Unable to open the document.") : error);
        return;
    }
    widget->setProperty("sourceFilePath", info.absoluteFilePath());
    AppConfig::instance()->setLastOpenPath(info.absolutePath());
    const int index = tabs->addTab(widget, info.fileName());
    tabs->setTabToolTip(index, info.fileName());
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
}

QTabWidget* MainWindow::tabWidgetForModule(const QString& moduleId) const
{
    return moduleId == QLatin1String("winmail") ? ui->winmailTabWidget : ui->tabWidget;
}

void MainWindow::setActiveModule(const QString& moduleId)
{
    activeModuleId = moduleId;
    // The title follows the module only in the all-modules edition.
}

bool MainWindow::isAllowedInActiveModule(const QString& path) const
{
    if (!(homeMode || isEdition("TASSELBY")) || activeModuleId.isEmpty())
        return true;
    const QString suffix = QLatin1Char('.') + QFileInfo(path).suffix().toLower();
    for (const Module& module : modules()) {
        if (QLatin1String(module.id) == activeModuleId)
            return module.suffixes.contains(suffix);
    }
    return false;
}

bool MainWindow::openFileIfAllowed(const QString& path)
{
    if (!isAllowedInActiveModule(path)) {
        QMessageBox::warning(this, nativeText("Unsupported Format"),
                             tr("This file type is not available in the current reader module."));
        return false;
    }
    openFile(path);
    return true;
}

void MainWindow::on_btnOpenFile_clicked()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Open Document"), AppConfig::instance()->lastOpenPath(),
                                                            pluginManager->openFileFilter());
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
    if (homeMode) {
        ui->toolbarWidget->setVisible(ui->stackedWidget->currentWidget() == ui->readerPage);
    }
    if (!isEdition("TASSELBY") && !isEdition("MARROWIN")) {
        for (QWidget* child : ui->toolbarWidget->findChildren<QWidget*>())
            child->setEnabled(false);
    }
    QTabWidget* tabs = ui->stackedWidget->currentWidget() == ui->winmailPage ? ui->winmailTabWidget : ui->tabWidget;
    bool enabled = false;
    if (QWidget* current = tabs->currentWidget()) {
        const QString path = current->property("sourceFilePath").toString();
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
    ui->stackedWidget->setCurrentWidget(ui->homePage);
    emit homePageActiveChanged(true);
}

void MainWindow::on_btnBookmarks_clicked() {}

void MainWindow::showBookmarkManagerDialog() {}

void MainWindow::on_btnPrint_clicked() { mw::logInfo(QStringLiteral("Print document")); }

void MainWindow::on_btnSave_clicked() { mw::logInfo(QStringLiteral("Export to PDF")); }

void MainWindow::onPstFileAccessRequested(QString path) { pstAccess.insert(path, AccessState::Requested); }

void MainWindow::onPstFileOpened(QString path)
{
    // Recent files join with the application menu.
    pstAccess.insert(path, AccessState::Opened);
}

void MainWindow::onPstFileClosed(QString path) { pstAccess.insert(path, AccessState::Closed); }

void MainWindow::onPstFileOpenFailed(QString path) { pstAccess.insert(path, AccessState::Failed); }
