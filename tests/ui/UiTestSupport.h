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

class CAttributeListEditor;
class CDataSource;
class CEntryNode;
class CSlapdServer;

// Runs fnDrive on the next modal dialog once it is open (from a timer, so
// the test never blocks on it). The dialog is passed as its widget.
void DriveNextModal(std::function<void(QWidget*)> fnDrive);
// Processes events and queued sends until pred holds or the time is up.
bool WaitUntil(const std::function<bool()>& pred, int nMilliseconds = 20000);
void PumpEvents();
// The next Add Entry (named rdn) or Add Attributes dialog gets the rows
// (name, value) through its Add button, then OK.
void TypeIntoNextEditor(const std::vector<std::pair<QString, QString>>& rows, const QString& rdn = {});
// The next Modify dialog gets text in its editable field, then OK.
void TypeIntoNextModify(const QString& text);
void AddRow(CAttributeListEditor* pEditor, const QString& name, const QString& value);

// A document with the tree pane (view 0) and the attribute pane (view 1)
// side by side in a shown window.
class QAbstractItemModel;
class QObject;

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
    // Writes text to path and opens it as an LDIF file at base; its root
    // entry, or NULL when Open failed.
    CEntryNode* OpenLdif(const std::string& path, const std::string& text, const std::string& base);
    // The document's close: workers stopped, Close, source gone, panes cleared.
    void Close();
    // Qt's model tester checks every change of the panes' models from now
    // on (a failure aborts the test); each change walks the whole model, so
    // only for small ones.
    void CheckModels();
    static void CheckModel(QAbstractItemModel* pModel, QObject* pOwner);

    CTestServices m_services;
    CTarvoDoc m_doc;
    std::unique_ptr<QSplitter> m_pHost;
    CLdapTreeView* m_pTree;
    CLdapListView* m_pList;

    // The panes' commands as the user gives them: the item or rows selected
    // first, the dialog filled in or the question answered.
    void AddEntry(HTREEITEM hParent, const QString& rdn,
                  const std::vector<std::pair<QString, QString>>& rows);
    void RenameEntry(HTREEITEM hItem, const QString& rdn);
    void DeleteEntry(HTREEITEM hItem, int nAnswer = IDYES);
    void ModifyRow(int nRow, const QString& value);
    void DeleteRows(const std::vector<int>& rows, int nAnswer = IDYES);

    // Conveniences on the tree pane.
    HTREEITEM Root() { return m_pTree->GetRootItem(); }
    // The child item whose text is text, or NULL.
    HTREEITEM Child(HTREEITEM hParent, const std::string& text);
    std::vector<std::string> ChildTexts(HTREEITEM hParent);
    std::vector<std::string> Rows();
    // The index of the row "name=value", or -1.
    int RowOf(const std::string& row);
    // Whether the pane's status ever showed text since the last Clear.
    bool StatusShown(int nPane, const char* text);
    CString Status(int nPane) { return m_services.m_status.PaneText(nPane); }
};

std::string Str(const CString& s);
