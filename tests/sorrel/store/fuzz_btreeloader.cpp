// libFuzzer entry for the b-tree reader: the input is a whole PST file. What
// pst_open accepts goes through pstLoadBTrees; whatever the pages hold, the
// load must not crash, and every block it installs must fit the file.
// Built when the compiler is clang with libFuzzer; run on small generated
// files, e.g.:
//   pstgen --out corpus/u.pst --mails 20 --attach-every 0 --body-size 32
//   pstgen --out corpus/a.pst --mails 20 --attach-every 0 --body-size 32 --ansi
//   build/tests/fuzz_btreeloader -max_len=300000 -max_total_time=120 corpus

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
