#pragma once
// One running Marrowin per user: a second start hands its file arguments to
// the first over a local socket and ends.

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace SingleInstance {

// "Lumenfold.<maker id>.<internal product name>".
QString serverName();
// Where the server listens: the socket file of that name in the user's
// runtime directory when there is one (one server per user, nothing left in
// /tmp), else the bare name (Qt's temporary directory).
QString serverAddress();

// The message: a QDataStream (Qt 6 default version, big-endian) holding a
// 32-bit count and that many strings.
QByteArray encodeMessage(const QStringList& paths);
// An undecodable message yields an empty list.
QStringList decodeMessage(const QByteArray& message);

// The documents named on a command line: every entry after the first that
// names an existing regular file, as an absolute path, in order.
QStringList filesFromArguments(const QStringList& arguments);

// Client side: when another instance listens, sends it the files of the
// command line and returns true (also when the bytes could not be written in
// time). Otherwise starts listening itself and returns false.
bool handOverToRunningInstance();

// Server side: makes sure this instance listens (trying once more if the
// check could not), and calls onFiles for every message received, on the
// GUI thread from the event loop, after the connection has been let go.
void startServer(std::function<void(const QStringList&)> onFiles);

} // namespace SingleInstance
