#pragma once
// A PST "file" made from fuzz input for the readers behind libpst's block
// access: the input is a list of blocks, each an 8-byte little-endian block
// id followed by its bytes, separated by the marker "BLK!". The first block
// is an item's data tree root, the second (when its id is not 0) its
// subnode tree root. The blocks are held in memory (fmemopen), unencrypted,
// with an index sorted by id as libpst expects.

#include <libpst/libpst.h>

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>

class FuzzPstFile {
public:
    FuzzPstFile(const uint8_t* data, size_t size);
    ~FuzzPstFile();
    FuzzPstFile(const FuzzPstFile&) = delete;
    FuzzPstFile& operator=(const FuzzPstFile&) = delete;

    pst_file* file() { return &m_pf; }
    // The item's descriptor (id 0x61 too, so it can stand for the name map);
    // null when the input holds no block.
    pst_desc_tree* descriptor() { return m_desc.desc ? &m_desc : nullptr; }

    // Encodes blocks the same way (for the seed corpora).
    struct Block { uint64_t id; QByteArray bytes; };
    static QByteArray encode(const QList<Block>& blocks);

private:
    QByteArray m_image;
    QList<pst_index_ll> m_index;
    alignas(8) pst_file m_pf{};
    alignas(8) pst_desc_tree m_desc{};  // nodes are heap blocks in a real file
};
