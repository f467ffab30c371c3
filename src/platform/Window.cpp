#include "platform/Window.h"

#include "platform/Dispatcher.h"

#include <mutex>
#include <unordered_map>

namespace {

class CWindowRegistry {
public:
    HWND Add(CWnd* pWnd) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::uint64_t id = ++m_nLastId;
        m_windows.emplace(id, pWnd);
        return HWND(id);
    }
    void Remove(HWND h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_windows.erase(h.GetId());
    }
    CWnd* Find(HWND h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_windows.find(h.GetId());
        return it == m_windows.end() ? nullptr : it->second;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::uint64_t, CWnd*> m_windows;
    std::uint64_t m_nLastId = 0;
};

CWindowRegistry& Registry() {
    static CWindowRegistry* registry = new CWindowRegistry;
    return *registry;
}

} // namespace

CWnd::CWnd() : m_hWnd(Registry().Add(this)) {}

CWnd::~CWnd() {
    DestroyWindowHandle();
}

void CWnd::DestroyWindowHandle() {
    if (m_hWnd) {
        Registry().Remove(m_hWnd);
        m_hWnd = HWND();
    }
}

BOOL IsWindow(HWND hWnd) {
    return hWnd && Registry().Find(hWnd) ? TRUE : FALSE;
}

CWnd* CWndFromHandle(HWND hWnd) {
    return hWnd ? Registry().Find(hWnd) : nullptr;
}

LRESULT SendToWindow(HWND hWnd, const std::function<LRESULT(CWnd&)>& fn) {
    if (!IsWindow(hWnd))
        return 0;
    CMessageDispatcher& dispatcher = CMessageDispatcher::Instance();
    // The call runs on the UI thread, where windows are destroyed too, so
    // the lookup there cannot race with the window's destruction.
    auto deliver = [hWnd, &fn]() -> LRESULT {
        CWnd* pWnd = Registry().Find(hWnd);
        return pWnd ? fn(*pWnd) : 0;
    };
    if (dispatcher.IsUIThread())
        return deliver();
    return dispatcher.Invoke(deliver);
}
