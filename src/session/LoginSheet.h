#pragma once
// The modal login dialog with its two tabbed pages. It ends with 1 only
// when a page opened a source; the document then takes that source.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "source/ConnectionParams.h"
#endif

#include <QDialog>

#include <functional>
#include <vector>

class CDataSource;
class CLdapSource;
class CLdapLoginPage;
class CLdifLoginPage;
class CLoginPage;
class QTabWidget;
struct CStartSource;

class CLoginSheet : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLoginSheet)

public:
    enum ESourceKind { kLdapSource, kLdifSource };

    CLoginSheet(const QString& caption, QWidget* pParent, int nSelectPage);
    ~CLoginSheet() override;

    void SetPage(int nIndex);
    int GetActivePageIndex();
    int GetPageIndex(const CLoginPage* pPage) const;
    void SetOpenedSource(CDataSource* pSource) { m_pOpenedSource = pSource; }
    CDataSource* GetOpenedSource() const { return m_pOpenedSource; }

    // Runs the sheet modally: 1 when a source was opened, 0 otherwise.
    int DoModal();
    void EndSheet(int nResult);

    // A new source of the kind a page asks for (the real sources unless a
    // test supplies its own).
    CDataSource* CreateSource(ESourceKind eKind);
    std::function<CDataSource*(ESourceKind)> m_fnCreateSource;
    // Open pSource with m_params; on success it becomes the opened source
    // and the sheet ends with 1, otherwise it is destroyed and the sheet
    // stays open.
    void OpenSource(CDataSource* pSource);
    // Connects with m_params as a login would, reads the server's naming
    // contexts and lets go again; m_params are left as they were. FALSE
    // when the server could not be reached (said in a box) or the user
    // cancelled.
    bool FetchNamingContexts(std::vector<CString>& contexts);

    CLdapLoginPage* GetLdapPage() const { return m_pLdapPage; }
    CLdifLoginPage* GetLdifPage() const { return m_pLdifPage; }
    QTabWidget* GetTabs() const { return m_pTabs; }
    // Shows the page for the source named on the command line with its
    // fields filled in; Enter opens it.
    void FillIn(const CStartSource& source);
    CLoginPage* GetActivePage() const;

    CConnectionParams m_params;
    int m_nActivePage = 0;

protected:
    void showEvent(QShowEvent* pEvent) override;
    void done(int nResult) override;

private:
    // Opens a server on a thread of its own while a progress window with
    // Cancel runs here; FALSE when it failed (source destroyed) or was
    // cancelled (the thread destroys it).
    bool OpenInBackground(CLdapSource* pSource);
    // The shown page's first empty field, or its OK, takes the focus.
    void FocusFirstEmptyField();

    QTabWidget* m_pTabs;
    CLdifLoginPage* m_pLdifPage;
    CLdapLoginPage* m_pLdapPage;
    CDataSource* m_pOpenedSource = nullptr; // handed to the document
};

// The real sources.
CDataSource* CreateDefaultSource(CLoginSheet::ESourceKind eKind);
