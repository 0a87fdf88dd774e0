#pragma once
// The drop-down menu behind the frame's menu button: recent documents, the
// bookmarks of page-based editions, the user guide, the product's web links,
// the log folder and the About box.

#include "common/ProductProfile.h"

#include <QObject>
#include <memory>

class QAction;
class QMenu;
class QPushButton;

class AppMenu : public QObject {
    Q_OBJECT
public:
    enum FileAction {
        AddFile = 1,
        ClearAll = 2,
        SelectAll = 3,
        AppClose = 4,
        ClearFinishedItems = 5,
        AddBookmark = 6,
        OpenManagerBookmarks = 7,
    };
    Q_ENUM(FileAction)

    // The number each help entry carries as its data.
    enum HelpEntry {
        UserGuideEntry = 100,
        ProductFaqEntry = 101,
        FeedbackEntry = 102,
        AboutEntry = 103,
        ShowLogEntry = 105,
    };

    // Mode 0 is the single-module frame of this program; mode 1 (the
    // multi-module frame) always offers the bookmarks.
    explicit AppMenu(int mode, QObject* parent = nullptr, const QString& editionId = ProductProfile::editionId());
    ~AppMenu() override;

    // Makes the menu the button's drop-down menu.
    void attachTo(QPushButton* button);

    QMenu* menu() const { return topMenu.get(); }
    QMenu* recentFilesMenu() const { return recentMenu; }
    // Fills the Recent Files submenu from the file, as before it shows.
    void refreshRecentFiles();

    // index.html of the user guide installed with the program; empty when it
    // is not installed.
    static QString userGuidePath();
    // Runs the About box modally over the active window.
    static void showAbout();

signals:
    void fileActionTriggered(AppMenu::FileAction action);
    void recentFileTriggered(QString filePath);
    void removeInstalledModuleRequested(QString moduleId);
    void removeAllInstalledModulesRequested();

private slots:
    void onHelpMenuTriggered(QAction* action);
    void onBookmarkMenuTriggered(QAction* action);
    void onLanguageActionTriggered() {}

private:
    QAction* makeEntry(int data);
    void retranslate();

    int mode = 0;
    std::unique_ptr<QMenu> topMenu;
    QMenu* recentMenu = nullptr;
    QMenu* bookmarkMenu = nullptr;
    QAction* addBookmarkAction = nullptr;
    QAction* manageBookmarksAction = nullptr;
    QAction* userGuideAction = nullptr;
    QAction* faqAction = nullptr;
    QAction* feedbackAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* showLogAction = nullptr;
    QAction* languageAction = nullptr;
};
