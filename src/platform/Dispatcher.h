#pragma once
// Runs calls on the user-interface thread for other threads, synchronously:
// the calling thread is blocked until the call has returned there.

#include "platform/Types.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CMessageDispatcher {
public:
    static CMessageDispatcher& Instance();

    // The UI thread is the thread that started the program unless a test or
    // the application names another one.
    void SetUIThread(std::thread::id id = std::this_thread::get_id());
    bool IsUIThread() const;

    // On the UI thread calls fn directly; elsewhere queues it, wakes the UI
    // thread and blocks until it has run. Returns 0 without running fn after
    // Shutdown.
    LRESULT Invoke(const std::function<LRESULT()>& fn);

    // UI thread: runs every queued call; returns how many ran.
    int DrainPendingSends();
    bool HasPendingSends() const;

    // Called from the sending thread when the UI thread may need waking to
    // drain (the Qt layer posts an event). Called at most once per drain.
    void SetWakeup(std::function<void()> fnWakeup);

    // UI thread: waits until pred() holds or the time runs out, running
    // queued calls meanwhile. TRUE when pred() held.
    BOOL WaitDispatching(const std::function<bool()>& pred, DWORD dwMilliseconds);

    // Wakes a WaitDispatching so it re-tests its predicate (threads ending).
    void NotifyStateChanged();

    // After Shutdown every queued and every later cross-thread call returns 0
    // at once; Restart undoes it (tests).
    void Shutdown();
    void Restart();

private:
    struct CPendingCall {
        const std::function<LRESULT()>* pFn;
        LRESULT result = 0;
        std::atomic<bool> bDone{false};
        bool bSleeping = false; // guarded by m_mutex
    };

    CMessageDispatcher();
    bool Complete(CPendingCall* pCall, LRESULT result);

    std::atomic<std::thread::id> m_uiThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_cvUI;     // UI thread waiting in WaitDispatching
    std::condition_variable m_cvSender; // senders waiting for their call to finish
    std::deque<CPendingCall*> m_queue;
    std::atomic<int> m_nQueued{0};
    std::function<void()> m_fnWakeup;
    std::atomic<bool> m_bWakeupPending{false};
    int m_nUIWaiters = 0;
    std::uint64_t m_nGeneration = 0;
    bool m_bShutdown = false;
};
