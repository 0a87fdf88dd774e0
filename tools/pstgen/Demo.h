#pragma once
#include "PstWriter.h"
#include <QString>
// The demo mailbox: every kind of item in a small realistic set of folders.
bool writeDemo(const QString &path, pstw::PstFormat format, pstw::PstEncryption encryption);
