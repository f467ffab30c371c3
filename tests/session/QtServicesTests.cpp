// The Qt services: message boxes (caption, icon, answer), a worker's box
// shown on the UI thread, the wait cursor around Open.

#include "QtTestEnvironment.h"
#include "TestSource.h"

#include "platform/Dispatcher.h"
#include "platform/Thread.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

namespace {

struct CBoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool bOnUIThread = false;
};

// Answers the next message box with the given button and records it.
void AnswerNextBox(CBoxSeen* pSeen, QMessageBox::StandardButton button) {
    DriveNextModal([pSeen, button](QWidget* pModal) {
        auto* pBox = qobject_cast<QMessageBox*>(pModal);
        ASSERT_NE(pBox, nullptr);
        pSeen->title = pBox->windowTitle();
        pSeen->text = pBox->text();
        pSeen->icon = pBox->icon();
        pSeen->bOnUIThread = QThread::currentThread() == qApp->thread();
        pBox->button(button)->click();
    });
}

// A worker's box is shown on the UI thread while the worker waits.
TEST(CQtMessageBoxes, CaptionIconAndAnswerAlsoForAWorkersBox) {
    CQtMessageBoxes boxes;
    CServices::SetMessageBoxes(&boxes);
    struct {
        UINT nType;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton button;
        int nAnswer;
    } cases[] = {
        {MB_OK | MB_ICONSTOP, QMessageBox::Critical, QMessageBox::Ok, IDOK},
        {MB_OK | MB_ICONEXCLAMATION, QMessageBox::Warning, QMessageBox::Ok, IDOK},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::No, IDNO},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes, IDYES},
        {MB_OKCANCEL | MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Cancel, IDCANCEL},
    };
    for (const auto& c : cases) {
        CBoxSeen seen;
        AnswerNextBox(&seen, c.button);
        EXPECT_EQ(AfxMessageBox("Error - Invalid LDAP server.", c.nType), c.nAnswer);
        EXPECT_EQ(seen.title, QStringLiteral("Tarvo"));
        EXPECT_EQ(seen.text, QStringLiteral("Error - Invalid LDAP server."));
        EXPECT_EQ(seen.icon, c.icon);
    }

    CQtDispatcherWakeup wakeup; // the program's way of waking the UI thread
    CBoxSeen seen;
    AnswerNextBox(&seen, QMessageBox::Ok);
    static std::atomic<int> s_nAnswer{0};
    s_nAnswer = 0;
    HANDLE hThread = AfxBeginThread(
        [](void*) -> UINT {
            s_nAnswer = AfxMessageBox("Searching failed", MB_OK | MB_ICONSTOP);
            return 0;
        },
        nullptr);
    // The UI thread only runs its event loop; the wakeup brings the box in.
    QElapsedTimer timer;
    timer.start();
    while (IsThreadRunning(hThread) && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);
    CloseHandle(hThread);
    EXPECT_EQ(s_nAnswer, IDOK);
    EXPECT_TRUE(seen.bOnUIThread);
    EXPECT_EQ(seen.text, QStringLiteral("Searching failed"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    CServices::SetMessageBoxes(nullptr);
}

TEST(CQtWaitCursor, ShownWhileTheSourceOpensAndGoneAfterwards) {
    CTestServices services;
    CQtWaitCursor cursor;
    CServices::SetWaitCursor(&cursor);
    CTestSourceLog log;
    Qt::CursorShape shapeDuringOpen = Qt::ArrowCursor;
    log.fnOnOpen = [&shapeDuringOpen] {
        if (QApplication::overrideCursor())
            shapeDuringOpen = QApplication::overrideCursor()->shape();
    };
    for (bool bSucceeds : {false, true}) {
        auto pSheet = ShowLoginSheet();
        pSheet->m_fnCreateSource = [&log, bSucceeds](CLoginSheet::ESourceKind) -> CDataSource* {
            return new CTestSource(&log, bSucceeds);
        };
        FillLdapPage(pSheet->GetLdapPage(), QStringLiteral("127.0.0.1"));
        shapeDuringOpen = Qt::ArrowCursor;
        pSheet->GetLdapPage()->OnOK();
        EXPECT_EQ(shapeDuringOpen, Qt::WaitCursor);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        delete pSheet->GetOpenedSource();
    }
    CServices::SetWaitCursor(nullptr);
}

TEST(CQtFileDialogs, TheOpenDialogTakesOnlyAnExistingFileAndGivesItsFullPath) {
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("people.ldif"));
    WriteWholeFile(existing.toStdString(), "dn: dc=example,dc=com\n");
    CQtFileDialogs dialogs;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QString title;
    QStringList filters;
    DriveNextModal([&](QWidget* pModal) {
        auto* pDialog = qobject_cast<QFileDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        mode = pDialog->fileMode();
        title = pDialog->windowTitle();
        filters = pDialog->nameFilters();
        pDialog->selectFile(existing);
        static_cast<QDialog*>(pDialog)->accept();
    });
    CString chosen;
    EXPECT_TRUE(dialogs.ChooseFile(TRUE, "Open LdifFile", "",
                                   "Text File (*.txt) | *.txt|All Files (*.*) | *.*||", TRUE, chosen));
    EXPECT_EQ(chosen, FromQString(existing));
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(title, QStringLiteral("Open LdifFile"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Text File (*.txt)"), QStringLiteral("All Files (*.*)")}));

    // A dialog that may name a new file, cancelled: nothing chosen.
    DriveNextModal([&](QWidget* pModal) {
        auto* pDialog = qobject_cast<QFileDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        mode = pDialog->fileMode();
        pDialog->reject();
    });
    chosen = "unchanged";
    EXPECT_FALSE(dialogs.ChooseFile(TRUE, "Save As", "SaveAsLdif.txt", "", FALSE, chosen));
    EXPECT_EQ(mode, QFileDialog::AnyFile);
    EXPECT_EQ(chosen, "unchanged");
}

} // namespace
