#pragma once

// Sets the process's allocator up for a program that builds and frees levels
// of a million small nodes. Call once, first thing in main, before any thread
// starts.
//
// glibc keeps freed small blocks in "fast" lists without merging them; the
// next large allocation in that arena then merges every one of them at once.
// After a large level is closed or refreshed that was a pause of some 200 ms
// in whichever thread allocated next: the UI thread, or the worker sending
// the next search. Without fast lists a free merges at once, so the cost is
// spread over the frees; the per-thread caches still serve small blocks
// quickly.
void TuneAllocator();

// Bytes this process can still get: the system's available memory
// (MemAvailable), and no more than what an address-space limit
// (RLIMIT_AS) leaves beside what the process maps already. -1 when
// neither can be read.
long long AvailableMemoryBytes();
