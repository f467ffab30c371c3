#include "platform/Dispatcher.h"

#include <chrono>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr int kSpinRounds = 2000;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

CMessageDispatcher& CMessageDispatcher::Instance() {
    // Never destroyed: detached workers may still report their end while the
    // process exits.
    static CMessageDispatcher* pInstance = new CMessageDispatcher;
    return *pInstance;
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
        m_nQueued.fetch_add(1, std::memory_order_release);
        if (m_nUIWaiters > 0)
            m_cvUI.notify_one();
        if (m_fnWakeup && !m_bWakeupPending.exchange(true))
            wakeup = m_fnWakeup;
    }
    if (wakeup)
        wakeup();

    // Most handlers return within microseconds: spin briefly before paying
    // for a sleep and a wake-up.
    for (int i = 0; i < kSpinRounds; ++i) {
        if (call.bDone.load(std::memory_order_acquire))
            return call.result;
        CpuRelax();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    call.bSleeping = true;
    m_cvSender.wait(lock, [&call] { return call.bDone.load(std::memory_order_acquire); });
    return call.result;
}

bool CMessageDispatcher::Complete(CPendingCall* pCall, LRESULT result) {
    // Caller holds m_mutex; tells whether the sender sleeps and needs a wake-up.
    // Read before the release: a spinning sender may return (and its call
    // record die) the moment it sees bDone.
    const bool bSleeping = pCall->bSleeping;
    pCall->result = result;
    pCall->bDone.store(true, std::memory_order_release);
    return bSleeping;
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
            m_nQueued.fetch_sub(1, std::memory_order_relaxed);
        }
        // The sender is blocked, so its function object stays alive.
        LRESULT result = (*pCall->pFn)();
        ++nRun;
        bool bWake;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            bWake = Complete(pCall, result);
        }
        if (bWake)
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
        // A sender that is streaming results usually queues its next call
        // within microseconds; catch it before going to sleep.
        for (int i = 0; i < kSpinRounds && m_nQueued.load(std::memory_order_acquire) == 0; ++i)
            CpuRelax();
        if (m_nQueued.load(std::memory_order_acquire) != 0)
            continue;
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
        m_nQueued.store(0);
    }
    m_cvSender.notify_all();
}

void CMessageDispatcher::Restart() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bShutdown = false;
}
