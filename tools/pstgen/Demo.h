#pragma once
#include "PstWriter.h"
#include <QString>
// The demo mailbox: every kind of item in a small realistic set of folders.
// Returns the number of items written, -1 on failure.
int writeDemo(const QString &path, pstw::PstFormat format, pstw::PstEncryption encryption);
