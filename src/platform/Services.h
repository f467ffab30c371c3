#pragma once
// Desktop services behind small interfaces: the application installs the Qt
// implementations, tests install the recorders of Recorders.h.

#include "platform/String.h"
#include "platform/Types.h"

// Message box styles and answers.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNO = 0x4;
// Skip, Replace, Skip All, Cancel: what to do with something that exists.
constexpr UINT MB_SKIPREPLACE = 0x8;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONSTOP;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
// The second button (No, Cancel) is the default: for questions whose Yes
// cannot be taken back.
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONMASK = 0xF0;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDSKIP = 20;
constexpr int IDREPLACE = 21;
constexpr int IDSKIPALL = 22;

// The caption of every box the program shows.
inline constexpr const char* kAppTitle = "Tarvo";

class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    // Runs on the UI thread; returns the button pressed.
    virtual int ShowMessageBox(const CString& text, const CString& caption, UINT nType) = 0;
};

class IStatusBarService {
public:
    virtual ~IStatusBarService() = default;
    virtual void SetPaneText(int nPane, const CString& text) = 0;
};

class IProfileService {
public:
    virtual ~IProfileService() = default;
    virtual CString GetProfileString(const CString& section, const CString& key,
                                     const CString& defaultValue) = 0;
    virtual BOOL WriteProfileString(const CString& section, const CString& key, const CString& value) = 0;
    virtual int GetProfileInt(const CString& section, const CString& key, int nDefault) = 0;
    virtual BOOL WriteProfileInt(const CString& section, const CString& key, int nValue) = 0;
};

class IWaitCursorService {
public:
    virtual ~IWaitCursorService() = default;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

class IFileDialogService {
public:
    virtual ~IFileDialogService() = default;
    // Asks for a file; TRUE with the chosen path, FALSE when cancelled.
    // bMustExist: only an existing file is accepted (open dialogs).
    virtual BOOL ChooseFile(BOOL bOpen, const CString& title, const CString& initialPath,
                            const CString& filter, BOOL bMustExist, CString& chosenPath) = 0;
};

// Where the services are installed. Passing NULL restores the default (a
// box printed to standard error answering IDOK, a silent status bar, an
// in-memory profile, no wait cursor, a file dialog that cancels).
class CServices {
public:
    static void SetMessageBoxes(IMessageBoxService* p);
    static void SetStatusBar(IStatusBarService* p);
    static void SetProfile(IProfileService* p);
    static void SetWaitCursor(IWaitCursorService* p);
    static void SetFileDialogs(IFileDialogService* p);

    static IMessageBoxService& MessageBoxes();
    static IStatusBarService& StatusBar();
    static IProfileService& Profile();
    static IWaitCursorService& WaitCursor();
    static IFileDialogService& FileDialogs();
};

// A box with the program's caption; from a worker thread it is shown on the
// UI thread while the worker waits for the answer.
int AfxMessageBox(const CString& text, UINT nType = MB_OK);
// Boxes asked for from a thread other than the UI thread since the start.
// Workers report and the UI shows, so this stays 0; tests check it.
int OffThreadMessageBoxCount();
int MessageBoxWithCaption(const CString& text, const CString& caption, UINT nType);

// Writes a text into a status-bar pane (UI thread; marshalled from others).
void SetStatusText(const CString& text, int nPane);

// RAII wait cursor.
class CWaitCursor {
public:
    CWaitCursor() { CServices::WaitCursor().BeginWaitCursor(); }
    ~CWaitCursor() { CServices::WaitCursor().EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
