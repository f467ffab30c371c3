#pragma once
// PLACEHOLDER (to be replaced by the desktop-application work): the API the
// panes rely on.

#include "platform/String.h"
#include "platform/Types.h"
#include "ui/ExportSettings.h"

#include <vector>

class CDataSource;
class CView;
class CObject;

class CTarvoDoc {
public:
    CTarvoDoc();
    virtual ~CTarvoDoc();

    CDataSource* GetDataSource() const { return m_pDataSource; }
    CExportSettings& GetExportSettings() { return m_exportSettings; }
    void SetStatusText(const CString& text, int nPane);
    void UpdateAllViews(CView* pSender, LPARAM lHint = 0, CObject* pHint = nullptr);
    void AddView(CView* pView);
    CView* GetView(int nIndex) const; // 0: tree pane, 1: attribute pane; NULL when absent
    // Makes the splitter pane in column nColumn (0 tree, 1 attributes) the active one.
    void ActivatePane(int nColumn);

    CDataSource* m_pDataSource = nullptr;
    CExportSettings m_exportSettings;
    bool m_bAttributeCommandsEnabled = false;
    bool m_bEntryCommandsEnabled = false;
    bool m_bRefreshEnabled = false;
    bool m_bOpenEnabled = true;
    bool m_bStopEnabled = false;
    bool m_bCloseEnabled = false;
    bool m_bSaveLdifEnabled = false;

private:
    std::vector<CView*> m_views;
};
