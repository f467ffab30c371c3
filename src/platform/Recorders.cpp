#include "platform/Recorders.h"

int CRecordingMessageBoxes::ShowMessageBox(const CString& text, const CString& caption, UINT nType) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.push_back({text, caption, nType});
    if (!m_answers.empty()) {
        int n = m_answers.front();
        m_answers.pop_front();
        return n;
    }
    return (nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

void CRecordingMessageBoxes::SetNextAnswer(int nAnswer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(nAnswer);
}

std::vector<CRecordingMessageBoxes::CBox> CRecordingMessageBoxes::Boxes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

int CRecordingMessageBoxes::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_boxes.size());
}

CString CRecordingMessageBoxes::LastText() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.empty() ? CString() : m_boxes.back().text;
}

void CRecordingMessageBoxes::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.clear();
    m_answers.clear();
}

void CRecordingStatusBar::SetPaneText(int nPane, const CString& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_history[nPane].push_back(text);
}

CString CRecordingStatusBar::PaneText(int nPane) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_history.find(nPane);
    return it == m_history.end() || it->second.empty() ? CString() : it->second.back();
}

std::vector<CString> CRecordingStatusBar::History(int nPane) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_history.find(nPane);
    return it == m_history.end() ? std::vector<CString>() : it->second;
}

void CRecordingStatusBar::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_history.clear();
}

CString CMemoryProfile::GetProfileString(const CString& section, const CString& key,
                                         const CString& defaultValue) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find({section, key});
    return it == m_values.end() ? defaultValue : it->second;
}

BOOL CMemoryProfile::WriteProfileString(const CString& section, const CString& key, const CString& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[{section, key}] = value;
    return TRUE;
}

int CMemoryProfile::GetProfileInt(const CString& section, const CString& key, int nDefault) {
    CString s = GetProfileString(section, key, CString());
    if (s.IsEmpty())
        return nDefault;
    try {
        return std::stoi(s.Str());
    } catch (...) {
        return nDefault;
    }
}

BOOL CMemoryProfile::WriteProfileInt(const CString& section, const CString& key, int nValue) {
    return WriteProfileString(section, key, CString(std::to_string(nValue)));
}

bool CMemoryProfile::Has(const CString& section, const CString& key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_values.count({section, key}) > 0;
}

void CMemoryProfile::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.clear();
}

BOOL CScriptedFileDialogs::ChooseFile(BOOL bOpen, const CString& title, const CString& initialPath,
                                      const CString& filter, BOOL, CString& chosenPath) {
    ++m_nCount;
    m_bLastOpen = bOpen != FALSE;
    m_lastInitialPath = initialPath;
    m_lastTitle = title;
    m_lastFilter = filter;
    if (m_paths.empty())
        return FALSE;
    CString path = m_paths.front();
    m_paths.pop_front();
    if (path.IsEmpty())
        return FALSE;
    chosenPath = path;
    return TRUE;
}

void CScriptedFileDialogs::SetNextPath(const CString& path) {
    m_paths.push_back(path);
}
