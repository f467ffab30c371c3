#include "platform/Services.h"

#include "platform/Dispatcher.h"
#include "platform/Recorders.h"

#include <atomic>
#include <cstdio>

namespace {

class CStderrMessageBoxes : public IMessageBoxService {
public:
    int ShowMessageBox(const CString& text, const CString& caption, UINT nType) override {
        std::fprintf(stderr, "[%s] %s\n", caption.GetString(), text.GetString());
        return (nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
};

class CSilentStatusBar : public IStatusBarService {
public:
    void SetPaneText(int, const CString&) override {}
};

class CNoWaitCursor : public IWaitCursorService {
public:
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
};

class CCancellingFileDialogs : public IFileDialogService {
public:
    BOOL ChooseFile(BOOL, const CString&, const CString&, const CString&, BOOL, CString&) override {
        return FALSE;
    }
};

// Defaults live for the whole process; installed services belong to the caller.
CStderrMessageBoxes g_defaultBoxes;
CSilentStatusBar g_defaultStatus;
CMemoryProfile g_defaultProfile;
CNoWaitCursor g_defaultCursor;
CCancellingFileDialogs g_defaultDialogs;

std::atomic<IMessageBoxService*> g_pBoxes{nullptr};
std::atomic<IStatusBarService*> g_pStatus{nullptr};
std::atomic<IProfileService*> g_pProfile{nullptr};
std::atomic<IWaitCursorService*> g_pCursor{nullptr};
std::atomic<IFileDialogService*> g_pDialogs{nullptr};

template <class T, class D> T& Get(std::atomic<T*>& slot, D& fallback) {
    T* p = slot.load();
    return p ? *p : static_cast<T&>(fallback);
}

} // namespace

void CServices::SetMessageBoxes(IMessageBoxService* p) {
    g_pBoxes = p;
}
void CServices::SetStatusBar(IStatusBarService* p) {
    g_pStatus = p;
}
void CServices::SetProfile(IProfileService* p) {
    g_pProfile = p;
}
void CServices::SetWaitCursor(IWaitCursorService* p) {
    g_pCursor = p;
}
void CServices::SetFileDialogs(IFileDialogService* p) {
    g_pDialogs = p;
}

IMessageBoxService& CServices::MessageBoxes() {
    return Get(g_pBoxes, g_defaultBoxes);
}
IStatusBarService& CServices::StatusBar() {
    return Get(g_pStatus, g_defaultStatus);
}
IProfileService& CServices::Profile() {
    return Get(g_pProfile, g_defaultProfile);
}
IWaitCursorService& CServices::WaitCursor() {
    return Get(g_pCursor, g_defaultCursor);
}
IFileDialogService& CServices::FileDialogs() {
    return Get(g_pDialogs, g_defaultDialogs);
}

namespace {
std::atomic<int> g_nOffThreadBoxes{0};
} // namespace

int OffThreadMessageBoxCount() {
    return g_nOffThreadBoxes.load();
}

int MessageBoxWithCaption(const CString& text, const CString& caption, UINT nType) {
    // Still shown, on the UI thread: the user must not lose the text.
    if (!CMessageDispatcher::Instance().IsUIThread())
        ++g_nOffThreadBoxes;
    return static_cast<int>(CMessageDispatcher::Instance().Invoke(
        [&]() -> LRESULT { return CServices::MessageBoxes().ShowMessageBox(text, caption, nType); }));
}

int AfxMessageBox(const CString& text, UINT nType) {
    return MessageBoxWithCaption(text, kAppTitle, nType);
}

void SetStatusText(const CString& text, int nPane) {
    CMessageDispatcher::Instance().Invoke([&]() -> LRESULT {
        CServices::StatusBar().SetPaneText(nPane, text);
        return 0;
    });
}
