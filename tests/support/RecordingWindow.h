#pragma once
// A window that records every message it receives, standing in for a pane.

#include "platform/Window.h"

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CRecordingWindow : public CWnd {
public:
    struct CMessage {
        UINT nMessage;
        WPARAM wParam;
        LPARAM lParam;
        std::thread::id thread;
    };

    ~CRecordingWindow() override { DestroyWindowHandle(); }

    LRESULT WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam) override;

    // Runs inside the handler, before the sender is released; lets a test
    // read the message's pointers while they are valid.
    std::function<void(UINT, WPARAM, LPARAM)> m_onMessage;

    std::vector<CMessage> Messages() const;
    std::vector<UINT> MessageIds() const;
    int Count(UINT nMessage) const;
    void Clear();
    // Ends the window's life as a message target, as a destroyed pane does.
    void Destroy() { DestroyWindowHandle(); }

private:
    mutable std::mutex m_mutex;
    std::vector<CMessage> m_messages;
};
