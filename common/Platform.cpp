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

bool revealInFileManager(const QString& filePath)
{
    if (filePath.isEmpty())
        return false;
    const QFileInfo info(filePath);
    const QString absolute = info.absoluteFilePath();

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
        // Bounded wait: an activatable file manager may take a moment to start.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return openFolder(info.isDir() ? absolute : info.absolutePath());
}

bool openFolder(const QString& folderPath)
{
    if (folderPath.isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(folderPath).absoluteFilePath()));
}

} // namespace Platform
