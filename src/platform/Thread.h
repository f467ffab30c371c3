#pragma once
// Worker threads with waitable handles. A handle stays valid after its
// thread has ended, until CloseHandle; a wait on an ended thread returns at once.

#include "platform/Types.h"

using AFX_THREADPROC = UINT (*)(void* pParam);

// Starts fn(param) on a new thread at once; returns its handle.
HANDLE AfxBeginThread(AFX_THREADPROC pfnThreadProc, void* pParam);

// WAIT_OBJECT_0 once the thread has ended, WAIT_TIMEOUT after the time-out,
// WAIT_FAILED for an unknown handle.
DWORD WaitForSingleObject(HANDLE hThread, DWORD dwMilliseconds);

// Like WaitForSingleObject, but on the UI thread keeps running synchronous
// sends queued by workers while it waits, so a worker blocked in a send
// can still finish.
DWORD WaitForThreadDispatching(HANDLE hThread, DWORD dwMilliseconds);

BOOL IsThreadRunning(HANDLE hThread);

// Forgets the handle; the thread itself is not affected.
BOOL CloseHandle(HANDLE hThread);

// Handles fit the 32-bit thread list of a data source.
inline DWORD HandleToDWord(HANDLE h) {
    return static_cast<DWORD>(h.GetId());
}
inline HANDLE DWordToHandle(DWORD d) {
    return HANDLE(static_cast<std::uint64_t>(d));
}

// Process-wide count of handles not yet closed (for leak checks in tests).
int GetOpenThreadHandleCount();

void Sleep(DWORD dwMilliseconds);
