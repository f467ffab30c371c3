#include "platform/Dispatcher.h"

#include <chrono>

CMessageDispatcher& CMessageDispatcher::Instance() {
    static CMessageDispatcher instance;
    return instance;
}

// Constructed during static initialisation or first use; the first user is
// the main thread in every program and test of ours.
namespace {
[[maybe_unused]] CMessageDispatcher& g_dispatcherAtStartup = CMessageDispatcher::Instance();
}

CMessageDispatcher::CMessageDispatcher() : m_uiThread(std::this_thread::get_id()) {}

void CMessageDispatcher::SetUIThread(std::thread::id id) {
    m_uiThread.store(id);
}

bool CMessageDispatcher::IsUIThread() const {
    return m_uiThread.load() == std::this_thread::get_id();
}

void CMessageDispatcher::SetWakeup(std::function<void()> fnWakeup) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fnWakeup = std::move(fnWakeup);
}

LRESULT CMessageDispatcher::Invoke(const std::function<LRESULT()>& fn) {
    if (IsUIThread())
        return fn();

    CPendingCall call;
    call.pFn = &fn;
    std::function<void()> wakeup;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_bShutdown)
            return 0;
        m_queue.push_back(&call);
        if (m_nUIWaiters > 0)
            m_cvUI.notify_one();
        if (m_fnWakeup && !m_bWakeupPending.exchange(true))
            wakeup = m_fnWakeup;
    }
    if (wakeup)
        wakeup();

    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvSender.wait(lock, [&call] { return call.bDone; });
    return call.result;
}

void CMessageDispatcher::Complete(CPendingCall* pCall, LRESULT result) {
    // Caller holds m_mutex.
    pCall->result = result;
    pCall->bDone = true;
}

int CMessageDispatcher::DrainPendingSends() {
    int nRun = 0;
    m_bWakeupPending.store(false);
    for (;;) {
        CPendingCall* pCall;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty())
                break;
            pCall = m_queue.front();
            m_queue.pop_front();
        }
        // The sender is blocked, so its function object stays alive.
        LRESULT result = (*pCall->pFn)();
        ++nRun;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Complete(pCall, result);
        }
        m_cvSender.notify_all();
    }
    return nRun;
}

bool CMessageDispatcher::HasPendingSends() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_queue.empty();
}

BOOL CMessageDispatcher::WaitDispatching(const std::function<bool()>& pred, DWORD dwMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        DrainPendingSends();
        if (pred())
            return TRUE;
        std::unique_lock<std::mutex> lock(m_mutex);
        const std::uint64_t nGeneration = m_nGeneration;
        auto ready = [&] { return !m_queue.empty() || m_nGeneration != nGeneration; };
        ++m_nUIWaiters;
        bool bTimedOut = false;
        if (dwMilliseconds == INFINITE) {
            // A bounded slice guards against a state change that was not notified.
            m_cvUI.wait_for(lock, std::chrono::milliseconds(50), ready);
        } else {
            if (Clock::now() >= deadline)
                bTimedOut = true;
            else
                m_cvUI.wait_until(lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(50)), ready);
        }
        --m_nUIWaiters;
        lock.unlock();
        if (bTimedOut) {
            DrainPendingSends();
            return pred() ? TRUE : FALSE;
        }
    }
}

void CMessageDispatcher::NotifyStateChanged() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nGeneration;
    }
    m_cvUI.notify_all();
}

void CMessageDispatcher::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bShutdown = true;
        for (CPendingCall* pCall : m_queue)
            Complete(pCall, 0);
        m_queue.clear();
    }
    m_cvSender.notify_all();
}

void CMessageDispatcher::Restart() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bShutdown = false;
}
