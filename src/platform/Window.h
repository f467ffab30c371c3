#pragma once
// Windows as message receivers. Each window has an HWND id in a registry;
// SendMessage is synchronous: on the UI thread it calls the handler, from
// any other thread it runs the handler on the UI thread and waits for it.

#include "platform/Object.h"
#include "platform/Types.h"

class CWnd : public CObject {
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Window procedure: handles the message on the UI thread.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // A derived window calls this first in its own destructor, so no message
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
// NULL or dead handle: nothing happens, 0 is returned, the caller never blocks.
LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// The window behind a live handle (UI thread only), or NULL.
CWnd* CWndFromHandle(HWND hWnd);
