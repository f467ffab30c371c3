#include "platform/Thread.h"

#include "platform/Dispatcher.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

struct CThreadState {
    std::mutex mutex;
    std::condition_variable cv;
    bool bEnded = false;
};

class CThreadRegistry {
public:
    HANDLE Add(std::shared_ptr<CThreadState> state) {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Ids are never reused (up to 2^32 threads), so a closed handle stays dead.
        std::uint64_t id = ++m_nLastId;
        m_states.emplace(id, std::move(state));
        return HANDLE(id);
    }
    std::shared_ptr<CThreadState> Find(HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_states.find(h.GetId());
        return it == m_states.end() ? nullptr : it->second;
    }
    bool Remove(HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_states.erase(h.GetId()) > 0;
    }
    int Count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_states.size());
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::uint64_t, std::shared_ptr<CThreadState>> m_states;
    std::uint64_t m_nLastId = 0;
};

CThreadRegistry& Registry() {
    // Never destroyed: detached workers may still finish during process exit.
    static CThreadRegistry* registry = new CThreadRegistry;
    return *registry;
}

} // namespace

HANDLE AfxBeginThread(AFX_THREADPROC pfnThreadProc, void* pParam) {
    auto state = std::make_shared<CThreadState>();
    HANDLE h = Registry().Add(state);
    std::thread([pfnThreadProc, pParam, state] {
        pfnThreadProc(pParam);
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->bEnded = true;
        }
        state->cv.notify_all();
        CMessageDispatcher::Instance().NotifyStateChanged();
    }).detach();
    return h;
}

DWORD WaitForSingleObject(HANDLE hThread, DWORD dwMilliseconds) {
    std::shared_ptr<CThreadState> state = Registry().Find(hThread);
    if (!state)
        return WAIT_FAILED;
    std::unique_lock<std::mutex> lock(state->mutex);
    if (dwMilliseconds == INFINITE) {
        state->cv.wait(lock, [&] { return state->bEnded; });
        return WAIT_OBJECT_0;
    }
    bool ok = state->cv.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), [&] { return state->bEnded; });
    return ok ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL IsThreadRunning(HANDLE hThread) {
    std::shared_ptr<CThreadState> state = Registry().Find(hThread);
    if (!state)
        return FALSE;
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->bEnded ? FALSE : TRUE;
}

DWORD WaitForThreadDispatching(HANDLE hThread, DWORD dwMilliseconds) {
    std::shared_ptr<CThreadState> state = Registry().Find(hThread);
    if (!state)
        return WAIT_FAILED;
    CMessageDispatcher& dispatcher = CMessageDispatcher::Instance();
    if (!dispatcher.IsUIThread())
        return WaitForSingleObject(hThread, dwMilliseconds);
    auto ended = [&] {
        std::lock_guard<std::mutex> lock(state->mutex);
        return state->bEnded;
    };
    return dispatcher.WaitDispatching(ended, dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE hThread) {
    return Registry().Remove(hThread) ? TRUE : FALSE;
}

int GetOpenThreadHandleCount() {
    return Registry().Count();
}

void Sleep(DWORD dwMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
