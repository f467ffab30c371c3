#pragma once
// Shared by the pane tests: the offscreen application, the two panes on a
// document, modal dialogs driven from a timer, and waits that keep the UI
// thread serving the sources' messages.

#include "TestServices.h"
#include "platform/Recorders.h"
#include "session/TarvoDoc.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"

#include <functional>
#include <memory>
#include <string>

#include <QSplitter>

class CDataSource;
class CEntryNode;
class CSlapdServer;

// Runs fnDrive on the next modal dialog once it is open (from a timer, so
// the test never blocks on it). The dialog is passed as its widget.
void DriveNextModal(std::function<void(QWidget*)> fnDrive);
// Processes events and queued sends until pred holds or the time is up.
bool WaitUntil(const std::function<bool()>& pred, int nMilliseconds = 20000);
void PumpEvents();

// A document with the tree pane (view 0) and the attribute pane (view 1)
// side by side in a shown window.
class CPanes {
public:
    CPanes();
    ~CPanes();
    CPanes(const CPanes&) = delete;
    CPanes& operator=(const CPanes&) = delete;

    // Takes the source over and shows its root as the document does.
    void Open(CDataSource* pSource, CEntryNode* pRoot);
    // Opens an LDAP source on the running server at base (as the
    // administrator unless bAdmin is false); FALSE when Open failed.
    bool OpenServer(const CSlapdServer& server, const std::string& base, bool bAdmin = true);
    // The document's close: workers stopped, Close, source gone, panes cleared.
    void Close();

    CTestServices m_services;
    CTarvoDoc m_doc;
    std::unique_ptr<QSplitter> m_pHost;
    CLdapTreeView* m_pTree;
    CLdapListView* m_pList;

    // Conveniences on the tree pane.
    HTREEITEM Root() { return m_pTree->GetRootItem(); }
    // The child item whose text is text, or NULL.
    HTREEITEM Child(HTREEITEM hParent, const std::string& text);
    std::vector<std::string> ChildTexts(HTREEITEM hParent);
    std::vector<std::string> Rows();
    CString Status(int nPane) { return m_services.m_status.PaneText(nPane); }
};

std::string Str(const CString& s);
