#include "host/app/SingleInstance.h"

#include "common/ProductProfile.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace SingleInstance {
namespace {

QPointer<QLocalServer> server;

// Listens on the name; a name left behind by a crashed instance is removed
// and tried once more.
bool listen(QLocalServer* s)
{
    const QString address = serverAddress();
    s->setSocketOptions(QLocalServer::UserAccessOption);
    if (s->listen(address))
        return true;
    QLocalServer::removeServer(address);
    return s->listen(address);
}

// A message may arrive in pieces: bytes are collected until one complete
// list decodes. When the sender goes away first, what arrived is decoded as
// it is (an empty list if it is incomplete), so the window still comes up.
// The paths are delivered from the event loop once this notification has
// returned and the connection is let go: opening them may run a modal box,
// whose event loop must never run inside the socket's own signal.
void readMessage(QLocalSocket* socket, const std::function<void(const QStringList&)>& onFiles, bool final)
{
    if (socket->property("mwHandled").toBool())
        return;
    const QByteArray bytes = socket->property("mwPending").toByteArray() + socket->readAll();
    QDataStream in(bytes);
    in.startTransaction();
    QStringList paths;
    in >> paths;
    if (!in.commitTransaction()) {
        if (in.status() == QDataStream::ReadPastEnd && !final) {
            socket->setProperty("mwPending", bytes);
            return;
        }
        paths.clear();
    }
    socket->setProperty("mwPending", QVariant());
    socket->setProperty("mwHandled", true);
    socket->deleteLater();
    QTimer::singleShot(0, QCoreApplication::instance(), [onFiles, paths] { onFiles(paths); });
}

} // namespace

QString serverName()
{
    return QStringLiteral("Lumenfold.%1.%2")
        .arg(QLatin1String(ProductProfile::kMakerId), QLatin1String(ProductProfile::kInternalProductName));
}

QString serverAddress()
{
    const QString runtime = ProductProfile::runtimeDirectory();
    if (runtime.isEmpty())
        return serverName();
    // A socket path longer than sockaddr_un's 108 bytes cannot be bound.
    const QString path = runtime + QLatin1Char('/') + serverName();
    return QFile::encodeName(path).size() < 108 ? path : serverName();
}

QByteArray encodeMessage(const QStringList& paths)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint32(paths.size());
    for (const QString& path : paths)
        out << path;
    return bytes;
}

QStringList decodeMessage(const QByteArray& message)
{
    QDataStream in(message);
    QStringList paths;
    in >> paths;
    if (in.status() != QDataStream::Ok)
        return {};
    return paths;
}

QStringList filesFromArguments(const QStringList& arguments)
{
    QStringList files;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QFileInfo info(arguments.at(i));
        if (info.isFile())
            files.append(info.absoluteFilePath());
    }
    return files;
}

bool handOverToRunningInstance()
{
    {
        QLocalSocket socket;
        socket.connectToServer(serverAddress(), QIODevice::ReadWrite);
        if (socket.waitForConnected(200)) {
            socket.write(encodeMessage(filesFromArguments(QCoreApplication::arguments())));
            socket.flush();
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return true;
        }
    }
    auto* s = new QLocalServer(QCoreApplication::instance());
    if (listen(s)) {
        server = s;
    } else {
        s->deleteLater();
    }
    return false;
}

void startServer(std::function<void(const QStringList&)> onFiles)
{
    if (!server) {
        auto* s = new QLocalServer(QCoreApplication::instance());
        listen(s);
        server = s;
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [onFiles] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [socket, onFiles] { readMessage(socket, onFiles, false); });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [socket, onFiles] {
                readMessage(socket, onFiles, true);
                socket->deleteLater();
            });
            if (socket->bytesAvailable() > 0)
                readMessage(socket, onFiles, false);
        }
    });
}

} // namespace SingleInstance
