#pragma once
// The in-memory record of one PST object: a string-keyed property map, a few
// typed members and the texts derived from them. Records are built while the
// library lock is held and never touch the libpst item again. They stay small
// whatever the object's size: bodies and attachment bytes are read again
// through the descriptor and the file's handle when needed, never kept.
// Always held by std::shared_ptr.

#include "sorrel/items/PstItemBody.h"
#include "sorrel/items/PstSearchField.h"
#include "sorrel/store/PstLibrary.h"

#include <libpst/libpst.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>

enum class PstItemKind : int32_t {
    Mail = 0,
    Calendar = 1,
    Contact = 2,
    Journal = 3,
    Task = 4,
    Note = 5,
    Folder = 6,
};

// One attachment of an item, shared between an item and its clones. It names
// the attachment only; its bytes are read from the file when needed
// (PstItem::loadAttachmentData) and never kept.
struct Attachment {
    QString name;       // long file name, else short file name; "<subject>.eml" for a message
    uint64_t id = 0;    // libpst i_id: finds the attachment again in a later parse
    QString contentId;  // empty when absent
    // Place in libpst's attachment list. libpst gives every attachment whose
    // bytes sit inline the i_id 0, so the id alone cannot tell them apart.
    int position = -1;
    // A message attached as such (attach method 5): it has no bytes of its
    // own and is saved as an .eml file.
    bool embeddedMessage = false;
};

// One box of a detail page: a title and its label/value rows.
struct InfoSection {
    QString title;
    QList<QPair<QString, QString>> rows;
};

class PstItem : public std::enable_shared_from_this<PstItem> {
public:
    using Fields = QMap<QString, QVariant>;

    PstItem();
    virtual ~PstItem();
    PstItem(const PstItem&) = delete;
    PstItem& operator=(const PstItem&) = delete;

    virtual PstItemKind kind() const = 0;
    virtual QString title() const;            // the name
    virtual QString subject() const;          // "subject"
    virtual QString iconPath() const = 0;
    virtual QString durationText() const;     // empty
    virtual qint64 sortTime() const;          // 0
    // A search field's text. Body (and a mail's Any) read the body again
    // from the file each time; nothing is kept.
    virtual QString fieldText(PstSearchField field) const;
    virtual QString fieldTextFresh(PstSearchField field) const;  // fieldText
    // The same with the body given: the index build reads the body from the
    // parse that made the record, so no item is parsed twice.
    virtual QString fieldText(PstSearchField field, const PstItemBody& body) const;
    virtual std::shared_ptr<PstItem> clone() const = 0;
    virtual void loadChildren();              // folders load lazily
    // The detail page's sections; the body (loadBody) fills the notes.
    virtual QList<InfoSection> infoSections(const PstItemBody& body) const;
    virtual QString buildSearchText() const;

    QString name() const { return m_name; }
    void setName(const QString& name);
    int depth() const { return m_depth; }
    void setDepth(int depth) { m_depth = depth; }
    // The libpst descriptor id of the object (every kind); loadItemById
    // finds the record again by it.
    uint64_t id() const { return m_id; }
    void setId(uint64_t id) { m_id = id; }
    pst_desc_tree* descriptor() const { return m_descriptor; }
    void setDescriptor(pst_desc_tree* d) { m_descriptor = d; }
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString& path) { m_filePath = path; }

    // The handle of the nearest record of depth 0 up the parent chain
    // (the record itself included); empty when the chain is broken.
    PstFileHandle document() const;
    void setDocument(PstFileHandle handle) { m_document = std::move(handle); }
    // The handle held by this very record (file nodes, singly loaded items).
    const PstFileHandle& ownDocument() const { return m_document; }

    // Parses the object again through its descriptor and document handle and
    // runs use on it with the library lock held; false when the file is
    // closed or the object no longer parses.
    bool parseAgain(const std::function<void(pst_file*, pst_item*)>& use) const;
    // The body, read again from the file; empty when the file is closed or
    // the object no longer parses. Takes the library lock.
    PstItemBody loadBody() const;

    // Attachments of every kind: appointments carry invitations, tasks and
    // notes files, as mails do.
    const QList<std::shared_ptr<Attachment>>& attachments() const { return m_attachments; }
    bool hasAttachments() const { return !m_attachments.isEmpty(); }
    void addAttachment(std::shared_ptr<Attachment> a) { m_attachments.append(std::move(a)); }
    // The bytes of an attachment of this item, read from the file; empty when
    // the file is closed, the item no longer parses, libpst has no bytes or
    // the attachment is a message. Takes the library lock.
    QByteArray loadAttachmentData(const Attachment& attachment) const;
    // Parses the item again and runs use on libpst's record of the
    // attachment with the library lock held; false when the file is closed,
    // the item no longer parses or the attachment is no longer there.
    bool withAttachment(const Attachment& attachment,
                        const std::function<void(pst_file*, pst_item_attach*)>& use) const;

    std::shared_ptr<PstItem> parent() const { return m_parent.lock(); }
    void setParent(const std::shared_ptr<PstItem>& parent) { m_parent = parent; }
    void addChild(std::shared_ptr<PstItem> child);
    std::shared_ptr<PstItem> childAt(int index);   // loads children first
    int childCount();                              // loads children first
    void clearChildren() { m_children.clear(); }
    const QList<std::shared_ptr<PstItem>>& children() const { return m_children; }

    const Fields& fields() const { return m_fields; }
    QVariant value(const QString& key) const { return m_fields.value(key); }
    QString text(const QString& key) const { return m_fields.value(key).toString(); }
    qint64 date(const QString& key) const { return m_fields.value(key).toLongLong(); }
    bool has(const QString& key) const { return m_fields.contains(key); }

    // Builders' setters: a null source (or a date that is not set) leaves
    // the key out.
    void setTextField(pst_item* item, const pst_string& str, const QString& key);
    void setDateField(const FILETIME* ft, const QString& key);
    void setField(const QString& key, const QVariant& value);

    // buildSearchText(), cached until the record changes.
    QString searchText() const;

protected:
    // Copies the base members into a fresh record of the same class and
    // clones the children into it.
    void copyBaseInto(PstItem& copy) const;
    void markDirty();
    // libpst's bytes of one attachment of a parsed item; empty when it has none.
    static QByteArray attachmentBytes(pst_file* pf, pst_item_attach* attach);
    // Base buildSearchText parts: title, subject, every value in key order.
    QStringList baseSearchParts() const;

private:
    QString m_name;
    int m_depth = 0;
    uint64_t m_id = 0;
    PstFileHandle m_document;
    QString m_filePath;
    QList<std::shared_ptr<PstItem>> m_children;
    std::weak_ptr<PstItem> m_parent;
    pst_desc_tree* m_descriptor = nullptr;
    Fields m_fields;
    QList<std::shared_ptr<Attachment>> m_attachments;
    mutable QString m_searchText;
    mutable bool m_dirty = true;
};

using PstItemPtr = std::shared_ptr<PstItem>;
