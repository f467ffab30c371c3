#pragma once
// Critical sections and manual-reset events.

#include "platform/Types.h"

#include <condition_variable>
#include <mutex>

// Re-entrant for the thread that holds it, like the OS critical sections.
class CCriticalSection {
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    BOOL TryLock() { return m_mutex.try_lock() ? TRUE : FALSE; }

    // Standard Lockable names so std::lock_guard and std::scoped_lock work.
    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a critical section for the scope.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    ~CCriticalSectionLock() { m_cs.Unlock(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& m_cs;
};

// Manual-reset event, created non-signalled.
class CEvent {
public:
    CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    BOOL IsSignalled() const;
    // WAIT_OBJECT_0 when signalled within the time (INFINITE: no limit), else WAIT_TIMEOUT.
    DWORD Wait(DWORD dwMilliseconds) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    bool m_bSignalled = false;
};

DWORD WaitForSingleObject(const CEvent& event, DWORD dwMilliseconds);
