#include "sorrel/export/writers/OutputStreams.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace outputstreams {

namespace {

FILE* streamOnFd(int fd, const char* mode)
{
    if (fd < 0)
        return nullptr;
    FILE* stream = fdopen(fd, mode);
    if (!stream) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return stream;
}

ssize_t deviceWrite(void* cookie, const char* buf, size_t size)
{
    auto* device = static_cast<QIODevice*>(cookie);
    return device->write(buf, qint64(size)) == qint64(size) ? ssize_t(size) : -1;
}

struct MboxQuoter {
    FILE* target = nullptr;
    bool atLineStart = true;  // collecting the start of a line in pending
    QByteArray pending;

    bool put(const char* data, size_t size)
    {
        return size == 0 || std::fwrite(data, 1, size, target) == size;
    }

    // Feeds one byte of a line start; false on a write error.
    bool feedLineStart(char c)
    {
        static const QByteArray from("From ");
        pending += c;
        qsizetype quotes = 0;
        while (quotes < pending.size() && pending[quotes] == '>')
            ++quotes;
        const QByteArray rest = pending.mid(quotes);
        if (rest.isEmpty())
            return true;
        if (from.startsWith(rest)) {
            if (rest.size() < from.size())
                return true;
            if (!put(">", 1))
                return false;
        }
        const bool ok = put(pending.constData(), size_t(pending.size()));
        pending.clear();
        atLineStart = c == '\n';
        return ok;
    }

    bool write(const char* buf, size_t size)
    {
        size_t i = 0;
        while (i < size) {
            if (atLineStart) {
                if (!feedLineStart(buf[i++]))
                    return false;
                continue;
            }
            const void* nl = std::memchr(buf + i, '\n', size - i);
            const size_t end = nl ? size_t(static_cast<const char*>(nl) - buf) + 1 : size;
            if (!put(buf + i, end - i))
                return false;
            i = end;
            atLineStart = nl != nullptr;
        }
        return true;
    }
};

ssize_t mboxWrite(void* cookie, const char* buf, size_t size)
{
    return static_cast<MboxQuoter*>(cookie)->write(buf, size) ? ssize_t(size) : -1;
}

int mboxClose(void* cookie)
{
    auto* quoter = static_cast<MboxQuoter*>(cookie);
    const bool ok = quoter->put(quoter->pending.constData(), size_t(quoter->pending.size()));
    delete quoter;
    return ok ? 0 : -1;
}

} // namespace

FILE* createNew(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return streamOnFd(fd, "wb");
}

FILE* openForAppend(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return nullptr;
    }
    return streamOnFd(fd, "ab");
}

FILE* openOnDevice(QIODevice* device)
{
    if (!device || !device->isWritable())
        return nullptr;
    cookie_io_functions_t io{};
    io.write = deviceWrite;
    return fopencookie(device, "w", io);
}

FILE* openMboxQuoting(FILE* target)
{
    if (!target)
        return nullptr;
    auto* quoter = new MboxQuoter;
    quoter->target = target;
    cookie_io_functions_t io{};
    io.write = mboxWrite;
    io.close = mboxClose;
    FILE* stream = fopencookie(quoter, "w", io);
    if (!stream)
        delete quoter;
    return stream;
}

bool closeChecked(FILE* stream)
{
    if (!stream)
        return false;
    bool ok = std::fflush(stream) == 0;
    ok = !std::ferror(stream) && ok;
    ok = std::fclose(stream) == 0 && ok;
    return ok;
}

} // namespace outputstreams
