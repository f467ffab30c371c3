// Several sessions in one program: File > New Window opens another main
// window with a login of its own; closing one leaves the others.

#include "QtTestEnvironment.h"

#include "ldif/LdifSource.h"
#include "platform/Collections.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"

#include <QWindow>

namespace {

void LoginToFile(const std::string& path) {
    DriveNextLoginSheet([path](CLoginSheet* pSheet) {
        ASSERT_NE(pSheet, nullptr);
        pSheet->GetTabs()->setCurrentIndex(1);
        CLdifLoginPage* pPage = pSheet->GetLdifPage();
        pPage->GetFileCombo()->setEditText(QString::fromStdString(path));
        pPage->GetSearchBaseCombo()->setEditText(QStringLiteral("o=Acme"));
        pPage->GetOKButton()->click();
    });
}

QString Title(CMainFrame* pFrame) {
    pFrame->UpdateCommandUI();
    return pFrame->windowHandle()->title();
}

} // namespace

TEST(NewWindow, OpensAnotherWindowWithItsOwnLoginAndClosingOneLeavesTheOther) {
    CTestServices services;
    CTempDir dir;
    for (const char* pszName : {"first.ldif", "second.ldif"})
        WriteWholeFile(dir.File(pszName), "dn: o=Acme\nobjectclass: organization\no: Acme\n");
    CTarvoApp app(false);
    LoginToFile(dir.File("first.ldif"));
    ASSERT_TRUE(app.InitInstance({}));
    CMainFrame* pFirst = app.GetMainFrame();
    ASSERT_TRUE(pFirst->IsCommandEnabled(ID_FILE_NEW_WINDOW));

    // A cancelled login takes its own window away, nothing else.
    DriveNextLoginSheet([](CLoginSheet* pSheet) { pSheet->GetLdapPage()->GetCancelButton()->click(); });
    pFirst->OnCommand(ID_FILE_NEW_WINDOW);
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.GetOtherFrames().empty(); }, 10000));
    EXPECT_EQ(app.GetOpenWindowCount(), 1);
    EXPECT_TRUE(pFirst->isVisible());

    LoginToFile(dir.File("second.ldif"));
    pFirst->OnCommand(ID_FILE_NEW_WINDOW);
    ASSERT_EQ(app.GetOtherFrames().size(), 1u);
    CMainFrame* pSecond = app.GetOtherFrames()[0];
    EXPECT_EQ(app.GetOpenWindowCount(), 2);
    EXPECT_TRUE(pSecond->isVisible());
    EXPECT_NE(pSecond->GetActiveDocument(), pFirst->GetActiveDocument());
    EXPECT_EQ(Title(pFirst), QString::fromUtf8("first.ldif \u2014 Tarvo"));
    EXPECT_EQ(Title(pSecond), QString::fromUtf8("second.ldif \u2014 Tarvo"));
    EXPECT_EQ(services.m_boxes.Count(), 0) << services.m_boxes.LastText().Str();

    // Each window's progress shows in its own status bar, whichever has the
    // focus: the second is the one the program's own services serve now.
    for (CMainFrame* pFrame : {pFirst, pSecond})
        for (int nPane = 0; nPane < 3; ++nPane)
            pFrame->SetPaneText(nPane, QStringLiteral("before"));
    CLdapTreeView* pTree = pFirst->GetTreeView();
    pTree->SelectItem(pTree->GetRootItem());
    pTree->OnRefresh();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return pFirst->GetPaneText(1).startsWith("Search Completed"); }, 10000));
    for (int nPane = 0; nPane < 3; ++nPane)
        EXPECT_EQ(pSecond->GetPaneText(nPane), QStringLiteral("before")) << nPane;
    // And its failures come up over it, not over the window the boxes
    // belong to at the moment.
    CQtMessageBoxes boxes;
    boxes.SetOwner(pSecond);
    CServices::SetMessageBoxes(&boxes);
    QWidget* pBoxParent = nullptr;
    DriveNextModal([&](QWidget* pModal) {
        pBoxParent = pModal->parentWidget();
        pModal->close();
    });
    pFirst->GetActiveDocument()->GetDataSource()->ReportFailure("The file could not be written.");
    EXPECT_EQ(pBoxParent, pFirst);
    EXPECT_EQ(boxes.Owner(), pSecond);
    CServices::SetMessageBoxes(&services.m_boxes);

    // The first window closes; the second keeps its session.
    pFirst->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.GetOpenWindowCount() == 1; }, 10000));
    EXPECT_TRUE(pSecond->isVisible());
    ASSERT_NE(pSecond->GetActiveDocument()->GetDataSource(), nullptr);
    EXPECT_EQ(Title(pSecond), QString::fromUtf8("second.ldif \u2014 Tarvo"));
    pSecond->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.GetOpenWindowCount() == 0; }, 10000));
    EXPECT_TRUE(app.GetOtherFrames().empty());
}
