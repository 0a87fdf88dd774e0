#include "Demo.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int demo = int(args.indexOf(QStringLiteral("--demo")));
    if (demo > 0 && demo + 1 < args.size())
        return writeDemo(args.at(demo + 1), args.contains(QStringLiteral("--ansi")) ? pstw::PstFormat::Ansi : pstw::PstFormat::Unicode,
                         args.contains(QStringLiteral("--compressible")) ? pstw::PstEncryption::Compressible : pstw::PstEncryption::None) ? 0 : 1;
    QTextStream(stderr) << "usage: pstgen --demo FILE\n";
    return 2;
}
