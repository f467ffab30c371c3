#include "platform/Memory.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void TuneAllocator() {
#if defined(__GLIBC__)
    mallopt(M_MXFAST, 0);
#endif
}
