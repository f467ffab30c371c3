#pragma once
// The one document of the program and the controller of a session: owns
// the open data source and the export settings, holds the command-enable
// flags, routes the session commands, stops and closes the source.

#include "platform/String.h"
#include "platform/Types.h"
#include "session/CommandLine.h"
#include "ui/ExportSettings.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class CDataSource;
class CLoginSheet;
class CSourceReports;
class CMainFrame;
class CObject;
class CView;

class CTarvoDoc {
public:
    CTarvoDoc();
    virtual ~CTarvoDoc();
    CTarvoDoc(const CTarvoDoc&) = delete;
    CTarvoDoc& operator=(const CTarvoDoc&) = delete;

    // Document life, as the framework drives it.
    virtual void Serialize(bool bStoring);
    virtual void DeleteContents();
    virtual BOOL OnNewDocument();
    virtual void OnCloseDocument();
    // A file named on the command line: there is no file format, so this
    // only runs Serialize and leaves the program without a session.
    BOOL OnOpenDocument(const CString& path);

    // Runs the login sheet; TRUE when a source was opened and taken over.
    BOOL ShowLogin();
    // Runs just before the sheet is shown modally (tests drive it from here).
    std::function<void(CLoginSheet&)> m_fnBeforeLogin;
    // The source named on the command line, shown by the next login only.
    CStartSource m_startSource;

    CDataSource* GetDataSource() const { return m_pDataSource; }
    // What the window's title names: "cn=admin,dc=x @ host:389", "anonymous
    // @ host:389" or "file.ldif"; empty without a session.
    QString GetSessionName() const { return m_strSessionName; }
    // An LDIF file with changes not yet written back.
    bool HasUnsavedChanges() const;
    // The window an open source reports its failures to.
    HWND GetReportWindow() const;
    CExportSettings& GetExportSettings() { return m_exportSettings; }
    void SetStatusText(const CString& text, int nPane);
    void UpdateAllViews(CView* pSender, LPARAM lHint = 0, CObject* pHint = nullptr);
    void AddView(CView* pView);
    void RemoveView(CView* pView);
    CView* GetView(int nIndex) const; // 0: tree pane, 1: attribute pane; NULL when absent
    // Makes the splitter pane in column nColumn (0 tree, 1 attributes) the active one.
    void ActivatePane(int nColumn);

    void SetFrame(CMainFrame* pFrame);
    CMainFrame* GetFrame() const;

    // Command routing: TRUE when the document handles nID (and ran it).
    BOOL OnCmdMsg(UINT nID);
    // Update handler: TRUE when the document has one for nID; bEnabled then
    // says whether the command is enabled.
    BOOL OnUpdateCmdUI(UINT nID, BOOL& bEnabled) const;

    // The commands themselves.
    void OnFileOpen();
    void OnStop();
    void OnCloseSession();
    void OnRefresh();
    void OnSaveToLdif();
    void OnEntryAdd();
    void OnEntryDelete();
    void OnEntryModify();
    void OnAttributesAdd();
    void OnAttributesDelete();
    void OnAttributesModify();

    // The two flag sets: no session (Open only) and session (all but Open).
    void SetNoSessionFlags();
    void SetSessionFlags();

    CDataSource* m_pDataSource = nullptr; // owned; NULL without a session
    // Shows what the open source reports: its failures and the question
    // after a lost connection.
    std::unique_ptr<CSourceReports> m_pReports;
    // This window's last Stop, while the stop flag it raised is still up.
    bool m_bStopPending = false;
    unsigned m_nStopGeneration = 0;
    CExportSettings m_exportSettings;
    bool m_bAttributeCommandsEnabled = false;
    bool m_bEntryCommandsEnabled = false;
    bool m_bRefreshEnabled = false;
    bool m_bOpenEnabled = true;
    bool m_bStopEnabled = false;
    bool m_bCloseEnabled = false;
    bool m_bSaveLdifEnabled = false;
    // The tree item cut for a move (Cut, then Paste on the new parent);
    // a stale handle finds nothing.
    HTREEITEM m_hCutItem;

private:
    // The view in the required splitter column when it is the active pane;
    // otherwise tells the user so and returns NULL.
    CView* RequireActivePane(int nColumn);
    // The pane in nColumn shows an entry its commands can act on: the tree
    // a selected entry, the attribute pane a current one.
    bool ShowsEntry(int nColumn) const;

    std::vector<CView*> m_views;
    QPointer<CMainFrame> m_pFrame;
    QString m_strSessionName;
};
