#pragma once
// Helpers shared by the main-window tests: catching message boxes, reading
// the log, making files.

#include <Corbelin/SupportFoundation.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

// Closes every message box that appears and records "title / text", with
// " [file]" when the box names a file.
class BoxCatcher : public QObject {
public:
    BoxCatcher()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                const QString file = box->informativeText();
                boxes.append(box->windowTitle() + QStringLiteral(" / ") + box->text()
                             + (file.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(file)));
                box->done(QMessageBox::Ok);
            }
        });
        timer.start(10);
    }
    QStringList boxes;

private:
    QTimer timer;
};

inline QString readLog()
{
    Corbelin::ILogConfig::FlushBuffer();
    QFile log(QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile()));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

// Writes a one-byte file and returns its absolute path.
inline QString touch(const QString& path)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("x");
    return QFileInfo(path).absoluteFilePath();
}
