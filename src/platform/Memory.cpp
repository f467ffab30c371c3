#include "platform/Memory.h"

#include <algorithm>
#include <cstdlib> // defines __GLIBC__ on glibc
#include <fstream>
#include <string>
#include <sys/resource.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void TuneAllocator() {
#if defined(__GLIBC__)
    mallopt(M_MXFAST, 0);
#endif
}

namespace {

// A "Key:   123 kB" line of a /proc file, in bytes; -1 when missing.
long long ProcKilobytes(const char* pszFile, const std::string& key) {
    std::ifstream in(pszFile);
    std::string word;
    while (in >> word) {
        if (word == key) {
            long long nKb = -1;
            in >> nKb;
            return nKb < 0 ? -1 : nKb * 1024;
        }
        std::getline(in, word);
    }
    return -1;
}

} // namespace

long long AvailableMemoryBytes() {
    long long nAvailable = ProcKilobytes("/proc/meminfo", "MemAvailable:");
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const long long nMapped = ProcKilobytes("/proc/self/status", "VmSize:");
        const long long nLeft = static_cast<long long>(limit.rlim_cur) - (nMapped < 0 ? 0 : nMapped);
        const long long nBounded = nLeft < 0 ? 0 : nLeft;
        nAvailable = nAvailable < 0 ? nBounded : std::min(nAvailable, nBounded);
    }
    return nAvailable;
}
