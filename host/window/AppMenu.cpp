#include "host/window/AppMenu.h"

#include "common/MultiLanguage.h"
#include "common/Platform.h"
#include "host/window/AboutDialog.h"
#include "host/window/RecentFiles.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QUrl>

namespace {

QString websiteUrl() { return QString::fromUtf8(ProductProfile::kWebsiteUrl); }

// A file name shown as a menu text: "&" would mark a shortcut.
QString menuText(QString text) { return text.replace(QLatin1Char('&'), QLatin1String("&&")); }

} // namespace

AppMenu::AppMenu(int mode, QObject* parent, const QString& editionId) : QObject(parent), mode(mode)
{
    qRegisterMetaType<AppMenu::FileAction>();
    topMenu = std::make_unique<QMenu>();
    topMenu->setWindowFlags(topMenu->windowFlags() | Qt::FramelessWindowHint);

    userGuideAction = makeEntry(UserGuideEntry);
    faqAction = makeEntry(ProductFaqEntry); // made for the translations, not offered
    feedbackAction = makeEntry(FeedbackEntry);
    aboutAction = makeEntry(AboutEntry);
    showLogAction = makeEntry(ShowLogEntry);
    languageAction = new QAction(this);
    connect(languageAction, &QAction::triggered, this, &AppMenu::onLanguageActionTriggered);

    if (!userGuidePath().isEmpty())
        topMenu->addAction(userGuideAction);
    if (!websiteUrl().isEmpty())
        topMenu->addAction(feedbackAction);
    topMenu->addAction(showLogAction);
    topMenu->addAction(aboutAction);

    QAction* first = topMenu->actions().value(0);
    const bool pageEditions = editionId != QLatin1String("TASSELBY") && editionId != QLatin1String("MARROWIN");
    if (mode == 1 || (mode == 0 && pageEditions)) {
        bookmarkMenu = new QMenu(topMenu.get());
        addBookmarkAction = bookmarkMenu->addAction(QString());
        addBookmarkAction->setData(int(AddBookmark));
        manageBookmarksAction = bookmarkMenu->addAction(QString());
        manageBookmarksAction->setData(int(OpenManagerBookmarks));
        topMenu->insertMenu(first, bookmarkMenu);
        topMenu->insertSeparator(first);
        connect(bookmarkMenu, &QMenu::triggered, this, &AppMenu::onBookmarkMenuTriggered);
    }

    recentMenu = new QMenu(topMenu.get());
    first = topMenu->actions().value(0);
    topMenu->insertMenu(first, recentMenu);
    topMenu->insertSeparator(first);
    connect(recentMenu, &QMenu::aboutToShow, this, &AppMenu::refreshRecentFiles);
    connect(recentMenu, &QMenu::triggered, this, [this](QAction* action) {
        const QString path = action->data().toString();
        if (!path.isEmpty())
            emit recentFileTriggered(path);
    });

    connect(topMenu.get(), &QMenu::triggered, this, &AppMenu::onHelpMenuTriggered);
    connect(MultiLanguage::instance(), &MultiLanguage::languageChanged, this, &AppMenu::retranslate);
    retranslate();
}

AppMenu::~AppMenu() = default;

QAction* AppMenu::makeEntry(int data)
{
    auto* action = new QAction(this);
    action->setData(data);
    return action;
}

void AppMenu::attachTo(QPushButton* button) { button->setMenu(topMenu.get()); }

void AppMenu::retranslate()
{
    topMenu->setTitle(tr("Help"));
    languageAction->setText(tr("Language"));
    userGuideAction->setText(tr("User Guide"));
    faqAction->setText(tr("Product FAQ"));
    feedbackAction->setText(tr("Feedback and Support"));
    aboutAction->setText(tr("About"));
    recentMenu->setTitle(tr("Recent Files"));
    showLogAction->setText(tr("Show Log in File Manager"));
    if (bookmarkMenu) {
        bookmarkMenu->setTitle(tr("Bookmarks"));
        addBookmarkAction->setText(tr("Add Bookmarks"));
        manageBookmarksAction->setText(tr("Manage Bookmarks"));
    }
}

void AppMenu::refreshRecentFiles()
{
    recentMenu->clear();
    const QStringList files = loadRecentFiles();
    if (files.isEmpty()) {
        recentMenu->addAction(tr("No Recent Files"))->setEnabled(false);
        return;
    }
    for (int i = 0; i < files.size(); ++i) {
        const QString& path = files.at(i);
        QAction* action =
            recentMenu->addAction(QStringLiteral("%1. %2").arg(i + 1).arg(menuText(QFileInfo(path).fileName())));
        action->setData(path);
        action->setToolTip(QDir::toNativeSeparators(path));
    }
}

QString AppMenu::userGuidePath()
{
    const QFileInfo guide(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/marrowin/guide/index.html"));
    return guide.isFile() ? QDir::cleanPath(guide.absoluteFilePath()) : QString();
}

void AppMenu::showAbout()
{
    auto* about = new AboutDialog(QApplication::activeWindow());
    about->exec();
}

void AppMenu::onHelpMenuTriggered(QAction* action)
{
    // The submenus' actions arrive here too; they are handled by their menus.
    if (action->parent() != this)
        return;
    switch (action->data().toInt()) {
    case UserGuideEntry:
        QDesktopServices::openUrl(QUrl::fromLocalFile(userGuidePath()));
        break;
    case ProductFaqEntry:
    case FeedbackEntry:
        QDesktopServices::openUrl(QUrl(websiteUrl()));
        break;
    case AboutEntry:
        showAbout();
        break;
    case ShowLogEntry:
        Platform::openFolder(ProductProfile::logDirectory());
        break;
    default:
        break;
    }
}

void AppMenu::onBookmarkMenuTriggered(QAction* action)
{
    const int data = action->data().toInt();
    if (data == AddBookmark || data == OpenManagerBookmarks)
        emit fileActionTriggered(FileAction(data));
}
