#pragma once
// The C stdio streams the writers write through (libpst writes attachment
// data straight into a FILE*): a new file that is never an existing one, a
// stream onto a QIODevice, and the mbox filter that quotes "From " lines.
// Every stream is closed with closeChecked, which reports whether every byte
// reached its target.

#include <QString>

#include <cstdio>

class QIODevice;

namespace outputstreams {

// Creates path for writing, failing when anything (a file, a directory, a
// link) already has that name, so a write never lands somewhere else.
// Null on failure; errno tells why (EEXIST when the name is taken).
FILE* createNew(const QString& path);

// Opens an existing regular file (or creates a new one) for appending,
// without following a link in the last component. Null on failure.
FILE* openForAppend(const QString& path);

// A write-only stream whose bytes go to device (which must be open for
// writing and outlive the stream). A failed device write is a stream error.
FILE* openOnDevice(QIODevice* device);

// A write-only stream that passes its bytes on to target and puts one ">"
// before every line that, after any number of ">", starts with "From "
// (the mboxrd quoting). Closing it flushes into target but leaves target
// open; a failed write to target is a stream error.
FILE* openMboxQuoting(FILE* target);

// Flushes and closes the stream; false when any write or the close failed.
bool closeChecked(FILE* stream);

} // namespace outputstreams
