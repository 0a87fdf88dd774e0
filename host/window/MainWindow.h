#pragma once
// The content of the program's window: hosts the document modules' widgets,
// routes every file the user opens to its module, runs the Open Document
// dialog, accepts dropped files and offers the modules the host interface.

#include "common/DocumentPlugin.h"
#include "host/window/StatusMessageList.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

class BrowserTabWidget;
class DocumentPluginManager;
class QStatusBar;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow, public IDocumentWidgetHost {
    Q_OBJECT
    Q_PROPERTY(QString activeReaderModuleId READ activeReaderModuleId)

public:
    // The layout of the edition this program was built as.
    explicit MainWindow(QWidget* parent = nullptr);
    // The layout of the given edition ("MARROWIN", "LUMENFOLD", "TASSELBY").
    explicit MainWindow(const QString& editionId, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Module id of a file by its suffix ("pst", "pdf", ...); empty when none.
    static QString moduleIdForFile(const QString& path);
    // "PDF Reader", ...; the product's display name for the empty or an
    // unknown id.
    static QString moduleLabel(const QString& moduleId);
    // 1104 x 750, or the minimum 900 x 560 on screens too small for it.
    static QSize initialSize(const QSize& availableScreenSize);

    void openFile(const QString& path);
    bool openFileIfAllowed(const QString& path);

    QString activeReaderModuleId() const { return activeModuleId; }
    // The filter of the Open Document dialog.
    QString openDialogFilter() const;
    DocumentPluginManager* documentPluginManager() const { return pluginManager; }
    QWidget* pstWidget() const { return pstModuleWidget; }

    // IDocumentWidgetHost
    QString temporaryDirectory() const override;
    void showStatusMessage(QObject* owner, const QString& text) override;
    void clearStatusMessage(QObject* owner) override;

signals:
    void bookmarkCommandsEnabledChanged(bool enabled);
    void homePageActiveChanged(bool active);
    void lumenfoldWindowTitleChanged(QString title);

public slots:
    void showHomePage();
    void on_btnBookmarks_clicked();
    void showBookmarkManagerDialog();
    void on_btnOpenFile_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void on_btnView_clicked() {}
    void on_btnZoomOut_clicked() {}
    void on_btnZoomIn_clicked() {}
    void on_btnZoomToOne_clicked() {}
    void on_btnZoomToFit_clicked() {}
    void on_btnDoublePage_clicked() {}
    void on_btnSinglePage_clicked() {}
    void on_btnFirstPage_clicked() {}
    void on_btnLastPage_clicked() {}
    void on_btnPreviousPage_clicked() {}
    void on_btnNextPage_clicked() {}
    void on_btnAllPageLeftRotate_clicked() {}
    void on_btnAllPageRightRotate_clicked() {}
    void on_btnSinglePageLeftRotate_clicked() {}
    void on_btnSinglePageRightRotate_clicked() {}
    void on_btnExport_clicked() {}
    void on_btnPrint_clicked();
    void on_btnSave_clicked();

    void onPstFileAccessRequested(QString path);
    void onPstFileOpened(QString path);
    void onPstFileClosed(QString path);
    void onPstFileOpenFailed(QString path);

private:
    enum class AccessState { Requested, Opened, Closed, Failed };

    bool isEdition(const char* editionId) const;
    bool ensurePstModuleWidget();
    // Whether a file goes to the PST page: whatever the PST module's
    // plug-in reads (.pst, .ost).
    bool isPstModuleFile(const QString& path) const;
    bool isAllowedInActiveModule(const QString& path) const;
    void buildHomePage();
    void onHomeCardClicked(const QString& moduleId);
    void showPstPage();
    void openInNewTab(const QString& path);
    void showModulePage(const QString& moduleId);
    void showEmptyPageAfterLastTab(bool winmail);
    void setActiveModule(const QString& moduleId);
    void updateTitle();
    void refreshStatusBar();
    void refreshBookmarkState();
    BrowserTabWidget* tabWidgetForModule(const QString& moduleId) const;

    Ui::MainWindow* ui = nullptr;
    QString edition;
    DocumentPluginManager* pluginManager = nullptr;
    bool homeMode = false;
    QWidget* homePage = nullptr;
    QWidget* readerPage = nullptr;
    QWidget* winmailPage = nullptr;
    QWidget* pstPage = nullptr;
    QPointer<QWidget> pstModuleWidget;
    QString activeModuleId;
    QString announcedTitle;
    StatusMessageList statusMessages;
    QStatusBar* statusBarWidget = nullptr;
    QHash<QString, AccessState> pstAccess;
};
