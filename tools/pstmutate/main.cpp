// pstmutate: writes damaged copies of a PST file.
//   pstmutate [--kind flip|btree|heap|length|truncate|all] [--seed N] [--count N] SOURCE OUTDIR
// writes OUTDIR/<source name>.<kind>.<seed>.pst for count seeds from N on
// (all kinds in turn with --kind all) and prints one path a line.
#include "PstMutate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Writes seeded damaged copies of a PST file."));
    p.addHelpOption();
    const QCommandLineOption kindOpt(QStringLiteral("kind"), QStringLiteral("flip, btree, heap, length, truncate or all."),
                                     QStringLiteral("kind"), QStringLiteral("all"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("First seed (default 1)."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption countOpt(QStringLiteral("count"), QStringLiteral("Mutants per kind (default 1)."),
                                      QStringLiteral("n"), QStringLiteral("1"));
    p.addOptions({kindOpt, seedOpt, countOpt});
    p.addPositionalArgument(QStringLiteral("source"), QStringLiteral("The sound PST file."));
    p.addPositionalArgument(QStringLiteral("outdir"), QStringLiteral("Where the mutants go."));
    p.process(app);
    QTextStream err(stderr);
    const QStringList args = p.positionalArguments();
    QList<pstmutate::Kind> kinds = pstmutate::allKinds();
    if (p.value(kindOpt) != QLatin1String("all")) {
        const auto k = pstmutate::kindFromName(p.value(kindOpt));
        if (!k) {
            err << "pstmutate: unknown kind " << p.value(kindOpt) << "\n";
            return 2;
        }
        kinds = {*k};
    }
    if (args.size() != 2) {
        err << p.helpText();
        return 2;
    }
    const auto layout = pstmutate::readLayout(args[0]);
    QFile in(args[0]);
    if (!layout || !in.open(QIODevice::ReadOnly)) {
        err << "pstmutate: cannot read " << args[0] << " as a PST file\n";
        return 1;
    }
    const QByteArray source = in.readAll();
    QDir().mkpath(args[1]);
    const uint32_t first = p.value(seedOpt).toUInt();
    const int count = p.value(countOpt).toInt();
    QTextStream out(stdout);
    for (pstmutate::Kind kind : kinds) {
        for (int i = 0; i < count; ++i) {
            const uint32_t seed = first + uint32_t(i);
            const QString path = QDir(args[1]).filePath(QStringLiteral("%1.%2.%3.pst")
                                                            .arg(QFileInfo(args[0]).completeBaseName(),
                                                                 pstmutate::kindName(kind))
                                                            .arg(seed));
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(pstmutate::mutate(source, *layout, kind, seed)) < 0) {
                err << "pstmutate: cannot write " << path << "\n";
                return 1;
            }
            out << path << "\n";
        }
    }
    return 0;
}
