#pragma once
// PLACEHOLDER (to be replaced by the panes work).

#include <QDialog>

class CExportSettings;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSettingsDlg(CExportSettings* pSettings, QWidget* pParent = nullptr);
    int DoModal() { return exec(); }

private:
    CExportSettings* m_pSettings;
};
