#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "ldif/LdifSource.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/qt/QtServices.h"
#include "source/ConnectionParams.h"
#include "source/DataSource.h"
#include "source/LdapSource.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/EntryDlg.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/ScreenFit.h"

#include <gtest/gtest.h>

#include "ui/AttributeRowModel.h"
#include "ui/EntryTreeModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

namespace {

std::unique_ptr<QTemporaryDir> g_pRuntimeDir;
std::unique_ptr<QApplication> g_pApp;
std::unique_ptr<CQtDispatcherWakeup> g_pWakeup;
int g_argc = 1;
char g_arg0[] = "tarvo_ui_tests";
char* g_argv[] = {g_arg0, nullptr};

class CUiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Offscreen, unless a test run names an offscreen screen of its own.
        if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen")))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        g_pRuntimeDir = std::make_unique<QTemporaryDir>();
        setenv("XDG_RUNTIME_DIR", g_pRuntimeDir->path().toLocal8Bit().constData(), 1);
        setenv("XDG_CONFIG_HOME", g_pRuntimeDir->path().toLocal8Bit().constData(), 1);
        CMessageDispatcher::Instance().SetUIThread();
        g_pApp = std::make_unique<QApplication>(g_argc, g_argv);
        CScreenFit::Install();
        g_pWakeup = std::make_unique<CQtDispatcherWakeup>();
    }
    void TearDown() override {
        g_pWakeup.reset();
        g_pApp.reset();
        g_pRuntimeDir.reset();
    }
};

[[maybe_unused]] ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CUiEnvironment);

} // namespace

std::string Str(const CString& s) {
    return s.Str();
}

void PumpEvents() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents);
        CMessageDispatcher::Instance().DrainPendingSends();
    }
}

bool WaitUntil(const std::function<bool()>& pred, int nMilliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > nMilliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        CMessageDispatcher::Instance().DrainPendingSends();
        QThread::msleep(1);
    }
    return true;
}

void DriveNextModal(std::function<void(QWidget*)> fnDrive) {
    auto* pTimer = new QTimer;
    pTimer->setInterval(5);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, fnDrive]() {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal)
            return;
        pTimer->stop();
        pTimer->deleteLater();
        fnDrive(pModal);
    });
    pTimer->start();
}

void AddRow(CAttributeListEditor* pEditor, const QString& name, const QString& value) {
    pEditor->NameEdit()->setText(name);
    pEditor->ValueEdit()->setText(value);
    pEditor->AddButton()->click();
}

void TypeIntoNextEditor(const std::vector<std::pair<QString, QString>>& rows, const QString& rdn) {
    DriveNextModal([rows, rdn](QWidget* pModal) {
        auto fill = [&rows](auto* pDlg) {
            for (const auto& [name, value] : rows)
                AddRow(pDlg->Editor(), name, value);
            pDlg->OnOK();
        };
        if (auto* pEntry = qobject_cast<CEntryDlg*>(pModal)) {
            pEntry->RelativeNameEdit()->setText(rdn);
            fill(pEntry);
        } else if (auto* pAdd = qobject_cast<CAddAttributesDlg*>(pModal)) {
            fill(pAdd);
        } else {
            ADD_FAILURE() << "not an attribute editor: " << pModal->metaObject()->className();
        }
    });
}

void TypeIntoNextModify(const QString& text) {
    DriveNextModal([text](QWidget* pModal) {
        auto* pDlg = qobject_cast<CModifyAttributeDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        pDlg->EditableEdit()->setText(text);
        pDlg->OnOK();
    });
}

CPanes::CPanes() : m_pHost(std::make_unique<QSplitter>()) {
    m_pTree = new CLdapTreeView(&m_doc, m_pHost.get());
    m_pList = new CLdapListView(&m_doc, m_pHost.get());
    m_pHost->addWidget(m_pTree);
    m_pHost->addWidget(m_pList);
    m_doc.AddView(m_pTree);
    m_doc.AddView(m_pList);
    m_pHost->resize(900, 700);
    m_pHost->show();
    CLdapListView::ResetSortDirections();
}

CPanes::~CPanes() {
    if (m_doc.m_pDataSource)
        m_doc.m_pDataSource->ShutdownWorkers(FALSE);
    m_pHost.reset();
}

void CPanes::CheckModel(QAbstractItemModel* pModel, QObject* pOwner) {
    new QAbstractItemModelTester(pModel, QAbstractItemModelTester::FailureReportingMode::Fatal, pOwner);
}

void CPanes::CheckModels() {
    CheckModel(m_pTree->GetModel(), m_pHost.get());
    CheckModel(m_pList->GetModel(), m_pHost.get());
}

void CPanes::Open(CDataSource* pSource, CEntryNode* pRoot) {
    m_doc.m_pDataSource = pSource;
    pSource->SetReportWindow(m_doc.GetReportWindow());
    pSource->SetPageSize(m_doc.m_exportSettings.GetEntriesPerPage());
    m_doc.m_bRefreshEnabled = true;
    m_doc.UpdateAllViews(nullptr, 0, static_cast<CObject*>(pRoot));
}

void CPanes::Close() {
    CDataSource* pSource = m_doc.m_pDataSource;
    if (!pSource)
        return;
    pSource->ShutdownWorkers(TRUE);
    pSource->Close();
    delete pSource;
    m_doc.m_pDataSource = nullptr;
    m_pTree->DeleteAllItems();
    m_pList->ClearList();
}

HTREEITEM CPanes::Child(HTREEITEM hParent, const std::string& text) {
    for (HTREEITEM hChild : m_pTree->GetChildItems(hParent))
        if (Str(m_pTree->GetItemText(hChild)) == text)
            return hChild;
    return HTREEITEM();
}

std::vector<std::string> CPanes::ChildTexts(HTREEITEM hParent) {
    std::vector<std::string> texts;
    for (HTREEITEM hChild : m_pTree->GetChildItems(hParent))
        texts.push_back(Str(m_pTree->GetItemText(hChild)));
    return texts;
}

std::vector<std::string> CPanes::Rows() {
    std::vector<std::string> rows;
    for (int i = 0; i < m_pList->GetRowCount(); ++i)
        rows.push_back(Str(m_pList->GetRowName(i)) + "=" + Str(m_pList->GetRowValue(i)));
    return rows;
}

void CPanes::AddEntry(HTREEITEM hParent, const QString& rdn,
                      const std::vector<std::pair<QString, QString>>& rows) {
    m_pTree->SelectItem(hParent);
    TypeIntoNextEditor(rows, rdn);
    m_pTree->OnAddEntry();
}

void CPanes::RenameEntry(HTREEITEM hItem, const QString& rdn) {
    m_pTree->SelectItem(hItem);
    TypeIntoNextModify(rdn);
    m_pTree->OnModifyEntry();
}

void CPanes::DeleteEntry(HTREEITEM hItem, int nAnswer) {
    m_pTree->SelectItem(hItem);
    m_services.m_boxes.SetNextAnswer(nAnswer);
    m_pTree->OnDeleteEntry();
}

void CPanes::ModifyRow(int nRow, const QString& value) {
    m_pList->SelectRows({nRow});
    TypeIntoNextModify(value);
    m_pList->OnModifyAttribute();
}

void CPanes::DeleteRows(const std::vector<int>& rows, int nAnswer) {
    m_pList->SelectRows(rows);
    m_services.m_boxes.SetNextAnswer(nAnswer);
    m_pList->OnDeleteAttributes();
}

int CPanes::RowOf(const std::string& row) {
    std::vector<std::string> rows = Rows();
    auto it = std::find(rows.begin(), rows.end(), row);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

bool CPanes::StatusShown(int nPane, const char* text) {
    auto history = m_services.m_status.History(nPane);
    return std::find(history.begin(), history.end(), CString(text)) != history.end();
}

CEntryNode* CPanes::OpenLdif(const std::string& path, const std::string& text, const std::string& base) {
    WriteWholeFile(path, text);
    auto* pSource = new CLdifSource;
    CConnectionParams params;
    params.m_strLdifFile = path;
    params.m_strSearchBase = base;
    if (!pSource->Open(params)) {
        delete pSource;
        return nullptr;
    }
    Open(pSource, params.m_pRoot);
    return params.m_pRoot;
}

bool CPanes::OpenServer(const CSlapdServer& server, const std::string& base, bool bAdmin) {
    auto* pSource = new CLdapSource;
    CConnectionParams params = ParamsFor(server, base, bAdmin);
    if (!pSource->Open(params)) {
        delete pSource;
        return false;
    }
    Open(pSource, params.m_pRoot);
    return true;
}
