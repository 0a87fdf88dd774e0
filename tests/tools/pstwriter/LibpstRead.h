// Reads a PST file back through libpst for the writer's tests.
#pragma once

#include <libpst/libpst.h>

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct PstItemFree {
    void operator()(pst_item *i) const { pst_freeItem(i); }
};
using PstItemPtr = std::unique_ptr<pst_item, PstItemFree>;

class LibpstFile {
public:
    explicit LibpstFile(const QString &path)
    {
        m_open = pst_open(&pf, path.toLocal8Bit().constData(), nullptr) == 0;
        m_ok = m_open && pst_load_index(&pf) == 0 && pst_load_extended_attributes(&pf) != 0;
    }
    ~LibpstFile()
    {
        if (m_open)
            pst_close(&pf);
    }
    bool ok() const { return m_ok; }
    PstItemPtr parse(pst_desc_tree *d) { return PstItemPtr(d ? pst_parse_item(&pf, d, nullptr) : nullptr); }
    PstItemPtr root() { return parse(pf.d_head); }
    pst_desc_tree *find(uint64_t id) { return find(pf.d_head, id); }
    PstItemPtr item(uint64_t id) { return parse(find(id)); }
    // An embedded message (attach method 5): its property block is the
    // attachment's i_id, its subnodes the attachment's id2 tree.
    PstItemPtr embedded(pst_item_attach *a)
    {
        pst_desc_tree d{};
        d.d_id = a->id2_val;
        d.desc = pst_getID(&pf, a->i_id);
        if (!d.desc)
            return nullptr;
        return PstItemPtr(pst_parse_item(&pf, &d, a->id2_head));
    }
    // Ids of the children of a node in libpst's descriptor tree.
    QList<uint64_t> children(uint64_t id)
    {
        QList<uint64_t> out;
        if (pst_desc_tree *d = find(id))
            for (pst_desc_tree *c = d->child; c; c = c->next)
                out.append(c->d_id);
        return out;
    }
    // The id libpst maps a named property (0x8000 + index) to, or 0.
    uint32_t mappedId(uint16_t propId) const
    {
        for (pst_x_attrib_ll *x = pf.x_head; x; x = x->next)
            if (x->map == propId && x->mytype == PST_MAP_ATTRIB)
                return *static_cast<uint32_t *>(x->data);
        return 0;
    }
    QByteArray attachment(pst_item_attach *a)
    {
        pst_binary b = pst_attach_to_mem(&pf, a);
        QByteArray out(b.data, qsizetype(b.size));
        free(b.data);
        return out;
    }
    pst_file pf{};

private:
    static pst_desc_tree *find(pst_desc_tree *d, uint64_t id)
    {
        for (; d; d = d->next) {
            if (d->d_id == id)
                return d;
            if (pst_desc_tree *c = find(d->child, id))
                return c;
        }
        return nullptr;
    }
    bool m_open = false;
    bool m_ok = false;
};

inline QByteArray pstStr(const pst_string &s) { return s.str ? QByteArray(s.str) : QByteArray(); }
inline bool pstHas(const pst_string &s) { return s.str != nullptr; }
