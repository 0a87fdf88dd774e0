#pragma once
// The shared libpst file handle and the one lock around every libpst call
// (libpst keeps global state and is not thread-safe).

#include <libpst/libpst.h>

#include <QRecursiveMutex>

#include <memory>

// Closes the file under the library lock when the last holder lets go.
struct PstFileDeleter {
    void operator()(pst_file* pf) const;
};

using PstFileHandle = std::shared_ptr<pst_file>;

// A fresh zero-initialised pst_file owned by a handle.
PstFileHandle makePstFileHandle();

// Process-wide, recursive, never destroyed.
QRecursiveMutex& pstLibraryMutex();
