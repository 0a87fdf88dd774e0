#include "common/Platform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

namespace Platform {

void bringToFront(QWidget* window)
{
    if (!window)
        return;
    QWidget* top = window->window();
    if (top->isMinimized()) {
        top->showNormal();
    } else if (!top->isVisible()) {
        top->setAttribute(Qt::WA_QuitOnClose);
        top->show();
    }
    top->raise();
    top->activateWindow();
}

namespace {

// Asks the freedesktop file manager to show path (method ShowItems or
// ShowFolders); false when no file manager answered.
bool callFileManager(const QString& method, const QString& absolutePath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), method);
    call << QStringList{QUrl::fromLocalFile(absolutePath).toString()} << QString();
    // Bounded wait: an activatable file manager may take a moment to start.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool revealInFileManager(const QString& filePath)
{
    if (filePath.isEmpty())
        return false;
    const QFileInfo info(filePath);
    const QString absolute = info.absoluteFilePath();
    if (callFileManager(QStringLiteral("ShowItems"), absolute))
        return true;
    const QString folder = info.isDir() ? absolute : info.absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool openFolder(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    if (callFileManager(QStringLiteral("ShowFolders"), absolute))
        return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
}

} // namespace Platform
