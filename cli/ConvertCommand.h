#pragma once
// marrowin-cli convert: the export pipeline on the command line, with a
// progress bar per format and a summary line.

#include "sorrel/store/PstFolderItem.h"

#include <QString>
#include <QStringList>

struct ConvertOptions {
    QString file;
    QString outputDirectory;
    QStringList formats;  // known keys only, in the order given
    QString folder;       // empty: the whole file
    bool keepEmptyFolders = false;
    bool help = false;
};

// Exit codes of convert besides 0 (all converted), 1 (cannot open) and 2 (usage).
inline constexpr int kExitSomeFailed = 3;
inline constexpr int kExitInterrupted = 130;

extern const char* const kConvertHelp;

// The arguments after "convert"; false with a message for wrong usage.
bool parseConvertArguments(const QStringList& args, ConvertOptions* options, QString* error);

// Converts root into the output directory and returns the exit code.
int runConvert(const PstFolderItemPtr& root, const ConvertOptions& options);
