#include "sorrel/export/writers/WriterSupport.h"

#include "common/ProductProfile.h"
#include "sorrel/store/PstLibrary.h"
#include "sorrel/store/PstSafeParse.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QMutexLocker>

#include <cstdio>
#include <cstring>

namespace writersupport {

namespace {

constexpr qsizetype kMaxLine = 75;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

QByteArray utf8Of(pst_item* item, pst_string& str)
{
    if (!str.str)
        return {};
    pst_convert_utf8_null(item, &str);
    return str.str ? QByteArray(str.str) : QByteArray();
}

QByteArray escapeText(const QByteArray& utf8)
{
    QByteArray out;
    out.reserve(utf8.size() + 8);
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\t' || (u >= 0x20 && u != 0x7F)) {
            out += c;
        }
    }
    return out;
}

QByteArray plainValue(const QByteArray& utf8)
{
    QByteArray out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\t' || (u >= 0x20 && u != 0x7F))
            out += c;
    }
    return out;
}

void ContentLines::add(const QByteArray& name, const QByteArray& value)
{
    add(name + ':' + value);
}

void ContentLines::add(const QByteArray& line)
{
    qsizetype pos = 0;
    qsizetype room = kMaxLine;
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos + 1 && isContinuationByte(line[cut]))
            --cut;
        m_text.append(line.constData() + pos, cut - pos);
        m_text += m_eol;
        m_text += ' ';
        pos = cut;
        room = kMaxLine - 1;
    }
    m_text.append(line.constData() + pos, line.size() - pos);
    m_text += m_eol;
}

QByteArray storeKey(pst_file* pf)
{
    if (!pf)
        return {};
    QByteArray key;
    {
        QMutexLocker lock(&pstLibraryMutex());
        if (pst_item* store = pf->d_head ? pstParseItemChecked(pf, pf->d_head) : nullptr) {
            if (store->record_key.data && store->record_key.size > 0 && store->record_key.size <= 64)
                key = QByteArray(store->record_key.data, qsizetype(store->record_key.size)).toHex();
            pst_freeItem(store);
        }
    }
    if (key.isEmpty()) {
        const QByteArray name = pf->fname ? QFileInfo(QString::fromLocal8Bit(pf->fname)).fileName().toUtf8() : QByteArray();
        key = QCryptographicHash::hash(name + '/' + QByteArray::number(quint64(pf->size)), QCryptographicHash::Sha1)
                  .left(16)
                  .toHex();
    }
    return key;
}

QByteArray itemUid(const pst_item* item, const QByteArray& storeKey)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%#llx", static_cast<unsigned long long>(item ? item->block_id : 0));
    QByteArray uid(buf);
    if (!storeKey.isEmpty())
        uid += '-' + storeKey;
    return uid;
}

QByteArray productId()
{
    return QByteArray("-//") + ProductProfile::kOrganizationName + "//" + ProductProfile::kApplicationName + ' '
           + ProductProfile::kVersion + "//EN";
}

} // namespace writersupport
