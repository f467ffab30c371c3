#pragma once
// Windows as receivers of calls from other threads. Each window has an HWND
// id in a registry; SendToWindow is synchronous: on the UI thread it runs the
// call at once, from any other thread it runs it on the UI thread and waits.

#include "platform/Object.h"
#include "platform/Types.h"

#include <functional>

class CWnd : public CObject {
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // A derived window calls this first in its own destructor, so no call
    // reaches a half-destroyed object. Sends still queued then return 0.
    void DestroyWindowHandle();

public:
    HWND m_hWnd;
};

// The handle of a window that may be NULL.
inline HWND SafeHwnd(const CWnd* pWnd) {
    return pWnd ? pWnd->m_hWnd : HWND();
}

BOOL IsWindow(HWND hWnd);
// Runs fn with the window behind hWnd on the UI thread and returns what it
// returns; the caller is blocked until then. NULL or dead handle (also one
// that dies while the call waits in the queue): fn does not run, 0 is
// returned, the caller never blocks.
LRESULT SendToWindow(HWND hWnd, const std::function<LRESULT(CWnd&)>& fn);
// The window behind a live handle (UI thread only), or NULL.
CWnd* CWndFromHandle(HWND hWnd);
