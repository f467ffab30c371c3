#pragma once
// In-memory stand-ins for the desktop services, for tests and for programs
// that run without a display.

#include "platform/Services.h"

#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

class CRecordingMessageBoxes : public IMessageBoxService {
public:
    struct CBox {
        CString text;
        CString caption;
        UINT nType;
    };

    int ShowMessageBox(const CString& text, const CString& caption, UINT nType) override;

    // The next boxes answer these, in order; after them IDOK (or IDYES for a
    // Yes/No box).
    void SetNextAnswer(int nAnswer);

    std::vector<CBox> Boxes() const;
    int Count() const;
    CString LastText() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<CBox> m_boxes;
    std::deque<int> m_answers;
};

class CRecordingStatusBar : public IStatusBarService {
public:
    void SetPaneText(int nPane, const CString& text) override;
    CString PaneText(int nPane) const;
    // Every text written to a pane, oldest first.
    std::vector<CString> History(int nPane) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::map<int, std::vector<CString>> m_history;
};

class CMemoryProfile : public IProfileService {
public:
    CString GetProfileString(const CString& section, const CString& key,
                             const CString& defaultValue) override;
    BOOL WriteProfileString(const CString& section, const CString& key, const CString& value) override;
    int GetProfileInt(const CString& section, const CString& key, int nDefault) override;
    BOOL WriteProfileInt(const CString& section, const CString& key, int nValue) override;
    bool Has(const CString& section, const CString& key) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<CString, CString>, CString> m_values;
};

class CScriptedFileDialogs : public IFileDialogService {
public:
    BOOL ChooseFile(BOOL bOpen, const CString& title, const CString& initialPath, const CString& filter,
                    BOOL bMustExist, CString& chosenPath) override;
    // The next dialog returns this path; an empty path cancels.
    void SetNextPath(const CString& path);
    int Count() const { return m_nCount; }
    CString LastTitle() const { return m_lastTitle; }
    CString LastFilter() const { return m_lastFilter; }
    CString LastInitialPath() const { return m_lastInitialPath; }
    // Whether the last dialog was an open (not a save) dialog.
    bool LastWasOpen() const { return m_bLastOpen; }

private:
    std::deque<CString> m_paths;
    int m_nCount = 0;
    CString m_lastTitle;
    CString m_lastFilter;
    CString m_lastInitialPath;
    bool m_bLastOpen = false;
};
