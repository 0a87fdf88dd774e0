#pragma once
// Crash-safe writes: a file of ours must never be left, by a kill -9 in the
// middle of writing it, in a state that a later start trusts wrongly. The
// test executable starts itself again as a writer that writes the file over
// and over, kills it with SIGKILL after a random delay, and after each kill
// asks the reader about what is left: it must reject or ignore the file, or
// read back exactly what was written.
//
// Applying it to a file of ours takes a writer and a check:
//
//   int main(int argc, char** argv)
//   {
//       // Started as a writer: writes in a loop until killed.
//       if (int code; killwriter::runWriterIfAsked(argc, argv, {{"search-index", writeSearchIndexOnce}}, code))
//           return code;
//       ... QTest::qExec(&test, argc, argv);
//   }
//   // In a test function:
//   killwriter::killRounds(QStringLiteral("search-index"), {extra args}, 40, seed, [&](int round) {
//       QVERIFY(readerRejectsOrReadsExactly(...));
//   });
//
// The writer's extra arguments reach it as its argument list.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QThread>

#include <functional>
#include <signal.h>

namespace killwriter {

// One complete write; the loop around it runs until the process is killed.
using Writer = std::function<bool(const QStringList& args)>;

constexpr const char* kWriterFlag = "--kill-writer";

// When argv is "<exe> --kill-writer NAME ARGS...", runs writer NAME in a loop
// (printing "ready" once the first write is done) and answers true with the
// exit code in code; otherwise false.
inline bool runWriterIfAsked(int argc, char** argv, const QMap<QString, Writer>& writers, int& code)
{
    if (argc < 3 || qstrcmp(argv[1], kWriterFlag) != 0)
        return false;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(3);
    const Writer writer = writers.value(QString::fromLocal8Bit(argv[2]));
    code = 2;
    if (!writer)
        return true;
    bool first = true;
    for (;;) {
        if (!writer(args)) {
            code = 1;
            return true;
        }
        if (first) {
            fprintf(stdout, "ready\n");
            fflush(stdout);
            first = false;
        }
    }
}

// Starts writer name rounds times, each killed after a random delay of up
// to maxDelayMs past its first complete write, then calls check(round).
// Answers the number of rounds whose writer was killed (not ended early).
inline int killRounds(const QString& name, const QStringList& args, int rounds, quint32 seed, int maxDelayMs,
                      const std::function<void(int round)>& check)
{
    QRandomGenerator rng(seed);
    int killed = 0;
    for (int round = 0; round < rounds; ++round) {
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), QStringList{kWriterFlag, name} + args);
        if (!writer.waitForStarted(30000) || !writer.waitForReadyRead(120000))
            return killed;
        QThread::usleep(rng.bounded(quint32(maxDelayMs) * 1000u));
        if (writer.state() == QProcess::Running) {
            ::kill(pid_t(writer.processId()), SIGKILL);
            ++killed;
        }
        writer.waitForFinished(30000);
        check(round);
    }
    return killed;
}

} // namespace killwriter
