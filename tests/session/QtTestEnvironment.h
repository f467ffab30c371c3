#pragma once
// What the session tests share: one QApplication for the whole test program
// on the offscreen platform (profile and Qt's runtime folder in temporary
// folders), the main frame with its document, and ways to drive a login.

#include "TestServices.h"

#include "platform/qt/QtServices.h"
#include "session/Commands.h"
#include "session/LdapLoginPage.h"
#include "session/LdifLoginPage.h"
#include "session/LoginSheet.h"
#include "session/MainFrame.h"
#include "session/TarvoApp.h"
#include "session/TarvoDoc.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// The folder QSettings writes the user profile into during the tests.
QString TestProfileFolder();
// Processes pending events (queued calls, posted deletes) a few times.
void PumpEvents();

// Once a login sheet is up as the modal window, runs fn on it (from inside
// the sheet's own event loop).
void DriveNextLoginSheet(std::function<void(CLoginSheet*)> fn);
// The same for any modal dialog.
void DriveNextModal(std::function<void(QWidget*)> fn);

// A login sheet as the program makes it, shown, on the given page.
std::unique_ptr<CLoginSheet> ShowLoginSheet(int nPage = 0);
// Types into the LDAP page's fields; a null text leaves that field as it is.
void FillLdapPage(CLdapLoginPage* pPage, const QString& server, const QString& port = {},
                  const QString& bindDN = {}, const QString& password = {}, const QString& base = {});
// Rows the pane's item view shows at the top level.
int TopLevelRows(QWidget* pPane);

// The main frame with its document, shown.
class CFrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CTestServices m_services;
    std::unique_ptr<CTarvoDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
};
