// libFuzzer entry for the b-tree reader: the input is a whole PST file. What
// pst_open accepts goes through pstLoadBTrees; whatever the pages hold, the
// load must not crash, and every block it installs must fit the file.
// Seeds: two small generated files (pstgen --mails 3 --folders 2
// --attach-every 0 --body-size 16, Unicode and --ansi).

#include "sorrel/store/PstBTreeLoader.h"

#include <libpst/libpst.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = memfd_create("pst", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return 0;
    }
    char name[64];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
    pst_file pf{};
    if (pst_open(&pf, name, nullptr) == 0) {
        pstLoadBTrees(&pf);
        for (size_t i = 0; i < pf.i_count; ++i) {
            if (!pstBlockEntryFits(pf.i_table[i], size))
                std::abort();
        }
        pst_close(&pf);
    }
    close(fd);
    return 0;
}
