// One message (a mail, or an item of another kind) written to a PST file and
// read back as a record that keeps the file open: bodies and attachment
// bytes are read from files only.
#pragma once

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/store/PstDocument.h"

#include <memory>

inline std::shared_ptr<PstItem> writtenItem(const QString& path, const pstw::MessageSpec& spec)
{
    pstw::MessageId id = 0;
    {
        pstw::PstWriter w(path);
        id = w.addMessage(w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox")), spec);
        if (!w.finish())
            return {};
    }
    PstDocument document;
    if (!document.open(path))
        return {};
    return loadItemById(document.handle(), id);
}

inline std::shared_ptr<PstMailItem> writtenMail(const QString& path, const pstw::MessageSpec& spec)
{
    return std::dynamic_pointer_cast<PstMailItem>(writtenItem(path, spec));
}
