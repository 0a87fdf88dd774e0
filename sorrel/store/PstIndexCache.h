#pragma once
// On-disk cache of a PST file's block index and descriptor tree (".pstidx"),
// so that a later open skips libpst's walk of the file's b-trees. A cache is
// bound to the PST file's size, modification time and four header values.
//
// Layout (little-endian): a 68-byte header ("PSTIDX01", version 1, size,
// mtime, index1, index2, index1_back, index2_back, N), N index entries of 40
// bytes in i_table order, a 64-bit count M, then M descriptor records of 48
// bytes (d_id, parent_d_id, no_child, descIndex, assocIndex, parentIndex) in
// depth-first pre-order, so a parent always precedes its children.

#include <libpst/libpst.h>

#include <QString>

namespace PstIndexCache {

// File in the cache directory named by the SHA-1 of the PST file's
// canonical (else absolute) path plus suffix; empty for an empty path. The
// search index uses the same rule with its own suffix.
QString cacheFilePathFor(const QString& pstPath, const QString& suffix);
// The ".pstidx" file for pstPath.
QString cachePathFor(const QString& pstPath);

// Writes pf's index and tree to cachePath through a temporary file that
// replaces the old cache only when complete. 0 on success, -1 on failure.
// Caller holds pstLibraryMutex().
int saveIndexCache(pst_file* pf, const QString& cachePath);

// Fills pf's index table and descriptor tree from cachePath when the cache is
// intact and matches the PST file, and every index entry fits the file as the
// b-tree reader checks it; pf must be freshly opened (no index yet).
// Registers the nodes for descriptor lookup. On any failure pf is left as it
// was. 0 on success, -1 on failure. Caller holds pstLibraryMutex().
int loadIndexCache(pst_file* pf, const QString& cachePath);

// Sets the modification time of a used cache file to now (keeps it from pruning).
void touchCacheFile(const QString& cachePath);

// Deletes cache and search index files not used for 15 days; does its work
// once per process.
void pruneCacheFiles();
// The prune itself, every time it is called; returns the number deleted.
int pruneCacheFilesNow();

} // namespace PstIndexCache
