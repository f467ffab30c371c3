#include "RecordingWindow.h"

LRESULT CRecordingWindow::WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({nMessage, wParam, lParam, std::this_thread::get_id()});
    }
    if (m_onMessage)
        m_onMessage(nMessage, wParam, lParam);
    return 0;
}

std::vector<CRecordingWindow::CMessage> CRecordingWindow::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<UINT> CRecordingWindow::MessageIds() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<UINT> ids;
    for (const CMessage& m : m_messages)
        ids.push_back(m.nMessage);
    return ids;
}

int CRecordingWindow::Count(UINT nMessage) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const CMessage& m : m_messages)
        n += m.nMessage == nMessage ? 1 : 0;
    return n;
}

void CRecordingWindow::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
}
