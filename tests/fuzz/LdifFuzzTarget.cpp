// libFuzzer entry: any bytes, read -> write -> read, must round-trip.
#include "LdifRoundTrip.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    const std::string problem = CheckLdifRoundTrip(pData, nSize);
    if (!problem.empty()) {
        std::fprintf(stderr, "round trip failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
