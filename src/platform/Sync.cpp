#include "platform/Sync.h"

#include <chrono>

void CEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSignalled = true;
    }
    m_cv.notify_all();
}

void CEvent::ResetEvent() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = false;
}

BOOL CEvent::IsSignalled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bSignalled ? TRUE : FALSE;
}

DWORD CEvent::Wait(DWORD dwMilliseconds) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    // A poll: no timed wait, which costs a timer slack (about 50 us) each time.
    if (dwMilliseconds == 0)
        return m_bSignalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    if (dwMilliseconds == INFINITE) {
        m_cv.wait(lock, [this] { return m_bSignalled; });
        return WAIT_OBJECT_0;
    }
    bool ok = m_cv.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), [this] { return m_bSignalled; });
    return ok ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD WaitForSingleObject(const CEvent& event, DWORD dwMilliseconds) {
    return event.Wait(dwMilliseconds);
}
