#include "sorrel/export/writers/MailWriter.h"

#include "common/Log.h"
#include "sorrel/export/writers/ItemWriters.h"
#include "sorrel/export/writers/MailHeaders.h"
#include "sorrel/export/writers/OutputStreams.h"
#include "sorrel/export/writers/PstAttachmentIo.h"
#include "sorrel/export/writers/WriterSupport.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/store/PstLibrary.h"

// libstrfunc.h declares C functions without a C++ guard.
extern "C" {
#include <libpst/libstrfunc.h>
}

#include <QList>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

using namespace mailheaders;
using writersupport::utf8Of;

namespace mailwriter {

namespace {

// The stored MIME headers of embedded messages, as a top-level message's
// transport header may carry them after its own block.
struct ExtraHeaders {
    bool set = false;
    QByteArray text;
};

// What the header block of a message decides before anything is written.
struct Head {
    QByteArray block;  // stored header fields to keep
    QByteArray charset;
    QByteArray reportType = "delivery-status";
    QByteArray sender;  // an address, or MAILER-DAEMON
    bool hasFrom = false, hasTo = false, hasSubject = false, hasDate = false, hasCc = false, hasMessageId = false;
};

void removeCarriageReturns(QByteArray& text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
}

bool validUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(bytes);
    return !decoder.hasError();
}

// UTF-8 bytes converted to charset; false when iconv does not know the
// charset or a character has no form in it.
bool fromUtf8(const QByteArray& utf8, const QByteArray& charset, QByteArray* out)
{
    if (charset.isEmpty())
        return false;
    iconv_t cd = iconv_open(charset.constData(), "UTF-8");
    if (cd == iconv_t(-1))
        return false;
    QByteArray result(utf8.size() * 4 + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char* dst = result.data();
    size_t outLeft = size_t(result.size());
    const size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    const bool ok = rc != size_t(-1) && inLeft == 0 && iconv(cd, nullptr, nullptr, &dst, &outLeft) != size_t(-1);
    iconv_close(cd);
    if (!ok)
        return false;
    result.truncate(result.size() - qsizetype(outLeft));
    *out = result;
    return true;
}

// A MIME type as a header can carry it: "type/subtype", parameters allowed.
bool isMimeType(const QByteArray& type)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9!#$&^_.+-]+/[A-Za-z0-9!#$&^_.+-]+\\s*(;.*)?$"));
    return form.match(QString::fromLatin1(type)).hasMatch();
}

bool isPrintableAscii(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

bool sameCharset(const QByteArray& a, const char* b)
{
    return qstricmp(a.constData(), b) == 0;
}

class Writer {
public:
    Writer(FILE* out, pst_file* pf, const MailWriterOptions& options, QByteArray storeKey)
        : m_out(out), m_pf(pf), m_options(options), m_storeKey(std::move(storeKey))
    {
    }

    void setOut(FILE* out) { m_out = out; }
    // The head of the top-level message; its stored header block may carry
    // the headers of the messages embedded in it.
    Head prepareTop(pst_item* item) { return prepare(item, m_extra); }
    void message(pst_item* item, Head head, int depth);

private:
    void put(const QByteArray& bytes)
    {
        if (!bytes.isEmpty())
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    }
    bool failed() const { return std::ferror(m_out) != 0; }
    // Starts a part of a multipart body.
    void openPart(const QByteArray& boundary)
    {
        put("\n--" + boundary + "\n");
        ++m_partsOpened;
    }

    void bodyPart(pst_item* item, const pst_string& str, const char* type, QByteArray charset,
                  const QByteArray& boundary);
    void meetingParts(pst_item* item, const QByteArray& name, const QByteArray& sender, const QByteArray& boundary);
    void attachmentPart(pst_item_attach* attach, const QByteArray& shortName, const QByteArray& longName,
                        const QByteArray& mimeType, const QByteArray& contentId, const QByteArray& boundary);
    void bytesPart(const QByteArray& data, const QByteArray& longName, const QByteArray& mimeType,
                   const QByteArray& boundary);
    void partHeaders(const QByteArray& shortName, const QByteArray& longName, const QByteArray& mimeType,
                     const QByteArray& contentId, const QByteArray& boundary);
    void embedded(pst_item_attach* attach, const QByteArray& boundary, int depth);
    Head prepare(pst_item* item, ExtraHeaders& extra);
    void advanceExtraHeaders();

    FILE* m_out;
    pst_file* m_pf;
    const MailWriterOptions& m_options;
    QByteArray m_storeKey;
    ExtraHeaders m_extra;
    QList<uint64_t> m_ancestors;  // index ids of the embedded messages being written
    int m_embeddedCount = 0;
    int m_partsOpened = 0;
};

Head Writer::prepare(pst_item* item, ExtraHeaders& extra)
{
    pst_item_email* e = item->email;
    Head head;
    QByteArray stored = utf8Of(item, e->header);
    if (!validHeaders(stored))
        stored = extra.set && validHeaders(extra.text) ? extra.text : QByteArray();

    char buf[30] = {};
    head.charset = headerSafe(pst_default_charset(item, int(sizeof buf), buf)).left(29);
    const QByteArray address = utf8Of(item, e->sender_address);
    head.sender = address.contains('@') ? address.left(59) : QByteArray("MAILER-DAEMON");

    if (stored.isEmpty())
        return head;
    QByteArray& block = head.block;
    block = stored;
    removeCarriageReturns(block);
    const qsizetype blank = block.indexOf("\n\n");
    if (blank >= 0) {
        if (!extra.set) {
            extra.set = true;
            extra.text = block.mid(blank + 2);
        }
        block.truncate(blank + 1);
    }
    head.hasFrom = headerHasField(block, "From:");
    head.hasTo = headerHasField(block, "To:");
    head.hasSubject = headerHasField(block, "Subject:");
    head.hasDate = headerHasField(block, "Date:");
    head.hasCc = headerHasField(block, "CC:");
    head.hasMessageId = headerHasField(block, "Message-Id:");
    const qsizetype type = headerFieldPos(block, "Content-Type:");
    if (type >= 0) {
        const QByteArray cs = headerGetSubfield(block, type, "charset", 29);
        if (!cs.isEmpty())
            head.charset = headerSafe(cs);
        const QByteArray rt = headerGetSubfield(block, type, "report-type", 59);
        if (!rt.isEmpty())
            head.reportType = headerSafe(rt);
    }
    if (!head.sender.contains('@')) {
        const qsizetype from = headerFieldPos(block, "From:");
        if (from >= 0) {
            qsizetype eol = block.indexOf('\n', from);
            if (eol < 0)
                eol = block.size();
            const qsizetype lt = block.indexOf('<', from);
            const qsizetype gt = lt >= 0 ? block.indexOf('>', lt) : -1;
            if (lt >= 0 && gt >= 0 && gt < eol)
                head.sender = block.mid(lt + 1, gt - lt - 1).left(59);
        }
    }
    for (const char* name : {"Microsoft Mail Internet Headers", "MIME-Version:", "Content-Type:",
                             "Content-Transfer-Encoding:", "Content-class:", "X-MimeOLE:", "X-From_:"})
        headerStripField(block, name);
    return head;
}

void Writer::message(pst_item* item, Head head, int depth)
{
    pst_item_email* e = item->email;
    const QByteArray boundary = "--boundary-LibPST-iamunique-" + QByteArray::number(quint64(item->block_id)) + "_-_-";
    const QByteArray altBoundary = "alt-" + boundary;
    const QByteArray sender = headerSafe(head.sender);
    const int partsBefore = m_partsOpened;

    if (!head.block.isEmpty()) {
        put(head.block);
        if (!head.block.endsWith('\n'))
            put("\n");
    }
    if (item->flags & PST_FLAG_READ)
        put("Status: RO\n");
    // The organizer name of a meeting request is the sender's name as the
    // From line has it.
    QByteArray name = utf8Of(item, e->outlook_sender_name);
    if (!head.hasFrom) {
        if (!name.isEmpty()) {
            name = rfc2047Encode(name, true);
            put("From: " + name + " <" + sender + ">\n");
        } else {
            put("From: <" + sender + ">\n");
        }
    }
    if (!head.hasSubject) {
        const QByteArray subject = utf8Of(item, item->subject);
        put("Subject: " + (subject.isEmpty() ? QByteArray() : rfc2047Encode(subject, false)) + '\n');
    }
    if (!head.hasTo) {
        const QByteArray to = utf8Of(item, e->sentto_address);
        if (!to.isEmpty())
            put("To: " + rfc2047Encode(to, false) + '\n');
    }
    if (!head.hasCc) {
        const QByteArray cc = utf8Of(item, e->cc_address);
        if (!cc.isEmpty())
            put("Cc: " + rfc2047Encode(cc, false) + '\n');
    }
    if (!head.hasDate && e->sent_date) {
        const QByteArray date = rfc2822Date(filetimeToSeconds(e->sent_date));
        if (!date.isEmpty())
            put("Date: " + date + '\n');
    }
    if (!head.hasMessageId) {
        const QByteArray id = headerSafe(utf8Of(item, e->messageid));
        if (!id.isEmpty())
            put("Message-Id: " + id + '\n');
    }
    const QByteArray address = headerSafe(utf8Of(item, e->sender_address));
    if (!address.isEmpty() && !address.contains('@') && address != ".")
        put("X-libpst-forensic-sender: " + address + '\n');
    const QByteArray bcc = headerSafe(utf8Of(item, e->bcc_address));
    if (e->bcc_address.str)
        put("X-libpst-forensic-bcc: " + bcc + '\n');
    put("MIME-Version: 1.0\n");
    const bool isReport = item->type == PST_TYPE_REPORT;
    if (isReport)
        put("Content-Type: multipart/report; report-type=" + head.reportType + ";\n\tboundary=\"" + boundary + "\"\n");
    else
        put("Content-Type: multipart/mixed;\n\tboundary=\"" + boundary + "\"\n");
    put("\n");

    if (isReport && e->report_text.str) {
        bodyPart(item, e->report_text, "text/plain", head.charset, boundary);
        put("\n");
    }
    const bool plain = item->body.str != nullptr;
    const bool html = e->htmlbody.str != nullptr;
    QByteArray bodyBoundary = boundary;
    if (plain && html) {
        openPart(boundary);
        put("Content-Type: multipart/alternative;\n\tboundary=\"" + altBoundary + "\"\n");
        bodyBoundary = altBoundary;
    }
    if (plain)
        bodyPart(item, item->body, "text/plain", head.charset, bodyBoundary);
    if (html)
        bodyPart(item, e->htmlbody, "text/html", htmlMetaCharset(e->htmlbody.str), bodyBoundary);
    if (plain && html)
        put("\n--" + altBoundary + "--\n");

    if (item->type == PST_TYPE_SCHEDULE && item->appointment)
        meetingParts(item, name, sender, boundary);
    if (e->encrypted_htmlbody.data)
        bytesPart(QByteArray(e->encrypted_htmlbody.data, qsizetype(e->encrypted_htmlbody.size)), {}, {}, boundary);
    if (e->encrypted_body.data)
        bytesPart(QByteArray(e->encrypted_body.data, qsizetype(e->encrypted_body.size)), {}, {}, boundary);
    if (m_options.keepRtf && e->rtf_compressed.data) {
        const QByteArray rtf = pstattachments::decompressRtf(e->rtf_compressed);
        if (!rtf.isEmpty())
            bytesPart(rtf, "rtf-body.rtf", "application/rtf", boundary);
    }
    for (pst_item_attach* a = item->attach; a && !failed(); a = a->next) {
        const QByteArray shortName = utf8Of(item, a->filename1);
        const QByteArray longName = utf8Of(item, a->filename2);
        const QByteArray mimeType = utf8Of(item, a->mimetype);
        if (a->method == PST_ATTACH_EMBEDDED)
            embedded(a, boundary, depth);
        else if (pstattachments::hasData(m_pf, a))
            attachmentPart(a, shortName, longName, mimeType, utf8Of(item, a->content_id), boundary);
    }
    // A multipart body needs a part; a message with nothing at all gets an
    // empty text.
    if (m_partsOpened == partsBefore) {
        openPart(boundary);
        put("Content-Type: text/plain; charset=\"utf-8\"\n\n");
    }
    put("\n--" + boundary + "--\n\n");
}

void Writer::bodyPart(pst_item* item, const pst_string& str, const char* type, QByteArray charset,
                      const QByteArray& boundary)
{
    QByteArray text(str.str);
    removeCarriageReturns(text);
    if (charset.isEmpty()) {
        // An HTML body that declares no charset is written, and labelled, as UTF-8.
        if (!str.is_utf8 && !validUtf8(text)) {
            pst_string copy{0, strdup(text.constData())};
            if (copy.str) {
                pst_convert_utf8(item, &copy);
                text = copy.str ? QByteArray(copy.str) : QByteArray();
                std::free(copy.str);
            }
            if (!validUtf8(text))
                text = QString::fromUtf8(text).toUtf8();
        }
        charset = "utf-8";
    } else if (str.is_utf8 && !sameCharset(charset, "utf-8")) {
        QByteArray converted;
        if (fromUtf8(text, charset, &converted))
            text = converted;
        else
            charset = "utf-8";
    }
    charset.replace('"', QByteArray());
    bool base64 = false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
            base64 = true;
            break;
        }
    }
    openPart(boundary);
    put(QByteArray("Content-Type: ") + type + "; charset=\"" + charset + "\"\n");
    if (base64) {
        put("Content-Transfer-Encoding: base64\n\n");
        char* encoded = pst_base64_encode(text.data(), size_t(text.size()));
        if (encoded)
            put(encoded);
        std::free(encoded);
        put("\n");
    } else {
        put("\n");
        put(text);
    }
}

void Writer::meetingParts(pst_item* item, const QByteArray& name, const QByteArray& sender,
                          const QByteArray& boundary)
{
    const QByteArray calendar = itemwriters::meetingRequestCalendar(item, name, sender, m_storeKey);
    openPart(boundary);
    put("Content-Type: text/calendar; method=\"REQUEST\"; charset=\"utf-8\"\n\n");
    put(calendar);
    put("\n");
    const QByteArray fileName = "i" + QByteArray::number(quint64(item->block_id)) + ".ics";
    openPart(boundary);
    put("Content-Type: text/calendar; charset=\"utf-8\"; name=\"" + fileName + "\"\n");
    put("Content-Disposition: attachment; filename=\"" + fileName + "\"\n\n");
    put(calendar);
    put("\n");
}

void Writer::partHeaders(const QByteArray& shortName, const QByteArray& longName, const QByteArray& mimeType,
                         const QByteArray& contentId, const QByteArray& boundary)
{
    const QByteArray type = headerSafe(mimeType);
    openPart(boundary);
    put("Content-Type: " + (isMimeType(type) ? type : QByteArray("application/octet-stream")) + '\n');
    put("Content-Transfer-Encoding: base64\n");
    const QByteArray cid = headerSafe(contentId);
    if (!cid.isEmpty())
        put("Content-ID: <" + cid + ">\n");
    if (!longName.isEmpty() && isPrintableAscii(longName)) {
        put("Content-Disposition: attachment; \n        filename*=" + rfc2231Encode(longName) + ";\n");
        put("        filename=\"" + quotedStringBody(longName) + "\"\n\n");
    } else if (!longName.isEmpty()) {
        // A name beyond ASCII goes only in the RFC 2231 form: a second, plain
        // form would put 8-bit bytes into the header or stand in for the
        // name with readers that take the last one.
        put("Content-Disposition: attachment; \n        filename*=" + rfc2231Encode(longName) + "\n\n");
    } else if (!shortName.isEmpty()) {
        if (isPrintableAscii(shortName))
            put("Content-Disposition: attachment; filename=\"" + quotedStringBody(shortName) + "\"\n\n");
        else
            put("Content-Disposition: attachment; filename*=" + rfc2231Encode(shortName) + "\n\n");
    } else {
        put("Content-Disposition: inline\n\n");
    }
}

void Writer::attachmentPart(pst_item_attach* attach, const QByteArray& shortName, const QByteArray& longName,
                            const QByteArray& mimeType, const QByteArray& contentId, const QByteArray& boundary)
{
    partHeaders(shortName, longName, mimeType, contentId, boundary);
    pstattachments::writeBase64(m_pf, attach, m_out);
    put("\n\n");
}

void Writer::bytesPart(const QByteArray& data, const QByteArray& longName, const QByteArray& mimeType,
                       const QByteArray& boundary)
{
    partHeaders({}, longName, mimeType, {}, boundary);
    pstattachments::writeBase64(m_pf, data, m_out);
    put("\n\n");
}

void Writer::advanceExtraHeaders()
{
    if (!m_extra.set)
        return;
    QByteArray text = m_extra.text;
    for (qsizetype blank = text.indexOf("\n\n"); blank >= 0; blank = text.indexOf("\n\n")) {
        const QByteArray block = text.left(blank + 1);
        text = text.mid(blank + 2);
        const qsizetype type = headerFieldPos(block, "Content-Type:");
        if (type < 0)
            continue;
        qsizetype start = type + qsizetype(std::strlen("Content-Type:"));
        while (start < block.size() && block[start] == ' ')
            ++start;
        qsizetype stop = start;
        while (stop < block.size() && block[stop] != ';' && block[stop] != '\n')
            ++stop;
        const QByteArray value = block.mid(start, stop - start);
        if (!value.isEmpty() && qstrnicmp(value.constData(), "message/rfc822", value.size()) == 0)
            break;
    }
    m_extra.text = text;
}

void Writer::embedded(pst_item_attach* attach, const QByteArray& boundary, int depth)
{
    advanceExtraHeaders();
    if (depth + 1 > kMaxEmbeddedDepth || m_ancestors.contains(attach->i_id)
        || m_embeddedCount >= kMaxEmbeddedMessages) {
        mw::logWarning(QStringLiteral("Embedded message left out: nested too deeply or repeating itself."));
        return;
    }
    pst_item* inner = pstattachments::parseEmbedded(m_pf, attach);
    if (!inner)
        return;
    if (inner->email) {
        ++m_embeddedCount;
        openPart(boundary);
        put("Content-Type: message/rfc822\n\n");
        const uint64_t attachmentId = attach->i_id;  // packed struct: copy, don't bind
        m_ancestors.append(attachmentId);
        message(inner, prepare(inner, m_extra), depth + 1);
        m_ancestors.removeLast();
    }
    pst_freeItem(inner);
}

} // namespace

bool writeMail(FILE* out, pst_file* pf, pst_item* item, const MailWriterOptions& options)
{
    if (!out || !item || !item->email)
        return false;
    QMutexLocker lock(&pstLibraryMutex());
    const QByteArray storeKey = options.storeKey.isEmpty() ? writersupport::storeKey(pf) : options.storeKey;
    Writer writer(out, pf, options, storeKey);
    Head head = writer.prepareTop(item);
    if (options.mode == MailMode::Eml) {
        writer.message(item, std::move(head), 0);
        return std::fflush(out) == 0 && !std::ferror(out);
    }
    const qint64 sent = item->email->sent_date ? filetimeToSeconds(item->email->sent_date) : -1;
    const QByteArray separator = "From \"" + headerSafe(head.sender) + "\" " + mboxSeparatorDate(sent) + '\n';
    std::fwrite(separator.constData(), 1, size_t(separator.size()), out);
    FILE* quoted = outputstreams::openMboxQuoting(out);
    if (!quoted)
        return false;
    writer.setOut(quoted);
    writer.message(item, std::move(head), 0);
    const bool ok = outputstreams::closeChecked(quoted);
    return ok && std::fflush(out) == 0 && !std::ferror(out);
}

bool writeMail(QIODevice* out, pst_file* pf, pst_item* item, const MailWriterOptions& options)
{
    FILE* stream = outputstreams::openOnDevice(out);
    if (!stream)
        return false;
    const bool written = writeMail(stream, pf, item, options);
    return outputstreams::closeChecked(stream) && written;
}

} // namespace mailwriter
