// PLACEHOLDER (to be replaced by the panes work).
#include "ui/SettingsDlg.h"

CSettingsDlg::CSettingsDlg(CExportSettings* pSettings, QWidget* pParent) : QDialog(pParent), m_pSettings(pSettings) {}
