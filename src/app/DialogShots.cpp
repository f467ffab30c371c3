// Takes the pictures of the dialogs in docs/: each dialog as it opens,
// filled in the way a user would have it, grabbed from the offscreen
// platform. Run with QT_SCALE_FACTOR=2 for the pictures at twice the size,
// and with --dark for a dark palette.
#include "ldif/LdifSource.h"
#include "model/EntryNode.h"
#include "platform/qt/QtServices.h"
#include "session/AboutDlg.h"
#include "session/LdapLoginPage.h"
#include "session/LoginSheet.h"
#include "session/MainFrame.h"
#include "session/TarvoDoc.h"
#include "source/LdapSource.h"
#include "source/SchemaFiles.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/AttributeRowModel.h"
#include "ui/EntryClassesPanel.h"
#include "ui/EntryDlg.h"
#include "ui/ExportSettings.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/SchemaBrowser.h"
#include "ui/SettingsDlg.h"

#include "ui/ScreenFit.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

void AddRow(CAttributeListEditor* pEditor, const char* pszName, const char* pszValue) {
    pEditor->NameEdit()->setText(QString::fromUtf8(pszName));
    pEditor->ValueEdit()->setText(QString::fromUtf8(pszValue));
    pEditor->AddButton()->click();
}

// The main window on a copy of the demo directory (the source writes its
// file back), a person four levels down selected: the tree's pictures and
// the panes as they look in use.
bool GrabMainWindow(const QString& path) {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("example.ldif"));
    if (!QFile::copy(QStringLiteral(TARVO_DEMO_LDIF), copy))
        return false;
    CTarvoDoc doc;
    CMainFrame frame(&doc);
    frame.resize(1000, 640);
    frame.show();
    auto* pSource = new CLdifSource;
    CConnectionParams params;
    params.m_strLdifFile = FromQString(copy);
    params.m_strSearchBase = "dc=example,dc=com";
    params.m_strFilter = "objectclass=*";
    if (!pSource->Open(params)) {
        delete pSource;
        return false;
    }
    doc.m_pDataSource = pSource;
    doc.UpdateAllViews(nullptr, 0, params.m_pRoot);
    doc.SetSessionFlags();
    CLdapTreeView* pTree = frame.GetTreeView();
    HTREEITEM hItem = pTree->GetRootItem();
    pTree->ExpandItem(hItem);
    for (const char* pszPath : std::initializer_list<const char*>{"ou=People", nullptr, nullptr}) {
        for (HTREEITEM hChild : pTree->GetChildItems(hItem)) {
            if (!pszPath || pTree->GetItemText(hChild) == pszPath) {
                hItem = hChild;
                break;
            }
        }
        pTree->ExpandItem(hItem);
    }
    const std::vector<HTREEITEM> people = pTree->GetChildItems(hItem);
    if (!people.empty())
        pTree->ClickItem(people.front());
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    return frame.grab().save(path);
}

// The schema window on the standard schemas, inetOrgPerson chosen: its
// superiors and the attributes it inherits.
bool GrabSchemaBrowser(const QString& path) {
    CSchemaBrowser browser;
    browser.SetSchema(BuiltinSchema());
    browser.show();
    browser.ShowDefinition(CSchemaBrowser::kObjectClasses, QStringLiteral("inetOrgPerson"));
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    return browser.grab().save(path);
}

// Serves events until fnDone holds (at most ten seconds).
bool WaitFor(const std::function<bool()>& fnDone) {
    QElapsedTimer timer;
    timer.start();
    while (!fnDone()) {
        if (timer.elapsed() > 10000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    return true;
}

HTREEITEM ChildNamed(CLdapTreeView* pTree, HTREEITEM hParent, const char* pszText) {
    for (HTREEITEM hChild : pTree->GetChildItems(hParent))
        if (pTree->GetItemText(hChild) == pszText)
            return hChild;
    return HTREEITEM();
}

// The main window on a server opened without a base (its naming contexts
// beside the root DSE), then a group's member followed to its entry.
bool GrabServerWindows(CQtServices& services, const QString& server, const QString& folder,
                       const QString& suffix) {
    CTarvoDoc doc;
    CMainFrame frame(&doc);
    frame.resize(1000, 640);
    frame.show();
    // The panes' progress texts show in the pictures too.
    CMainFrame* pFrame = &frame;
    services.m_status.SetTarget(
        pFrame, [pFrame](int nPane, const QString& text) { pFrame->SetPaneText(nPane, text); });
    auto* pSource = new CLdapSource;
    CConnectionParams params;
    params.m_strServer = FromQString(server.section(QLatin1Char(':'), 0, 0));
    params.m_nPort = server.section(QLatin1Char(':'), 1, 1).toInt();
    params.m_strFilter = "(objectclass=*)";
    if (!pSource->Open(params)) {
        delete pSource;
        return false;
    }
    doc.m_pDataSource = pSource;
    for (CEntryNode* pContext : params.m_namingContexts)
        doc.UpdateAllViews(nullptr, 0, pContext);
    doc.UpdateAllViews(nullptr, 0, params.m_pRoot);
    doc.SetSessionFlags();
    CLdapTreeView* pTree = frame.GetTreeView();
    CLdapListView* pList = frame.GetListView();
    const HTREEITEM hTop = pTree->GetRootItem();
    if (!WaitFor([&] { return pList->GetRowCount() > 0; }))
        return false;
    pTree->ExpandItem(hTop);
    if (!WaitFor([&] { return pTree->GetChildItems(hTop).size() > 1; }) ||
        !frame.grab().save(QStringLiteral("%1/naming-contexts%2.png").arg(folder, suffix)))
        return false;

    HTREEITEM hGroups = ChildNamed(pTree, hTop, "ou=Groups");
    pTree->ExpandItem(hGroups);
    if (!WaitFor([&] { return static_cast<bool>(ChildNamed(pTree, hGroups, "cn=engineering")); }))
        return false;
    pTree->ClickItem(ChildNamed(pTree, hGroups, "cn=engineering"));
    if (!WaitFor([&] { return pList->GetRowCount() > 3; }))
        return false;
    for (int nRow = 0; nRow < pList->GetRowCount(); ++nRow) {
        if (pList->GetRowName(nRow) == "member") {
            pList->GetListControl()->setCurrentIndex(pList->GetModel()->index(nRow, 1));
            const CString target = pList->GetRowValue(nRow);
            pList->OnGoToEntry();
            if (!WaitFor([&] {
                    CEntryNode* pEntry = pTree->GetSelectedEntry();
                    return pEntry && pEntry->GetDN() == target && pList->GetCurrentEntry() == pEntry &&
                           pList->GetRowCount() > 3;
                }))
                return false;
            return frame.grab().save(QStringLiteral("%1/dn-followed%2.png").arg(folder, suffix));
        }
    }
    return false;
}

QPalette DarkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(45, 45, 48));
    palette.setColor(QPalette::WindowText, QColor(230, 230, 230));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
    palette.setColor(QPalette::Text, QColor(230, 230, 230));
    palette.setColor(QPalette::Button, QColor(55, 55, 58));
    palette.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    palette.setColor(QPalette::Highlight, QColor(52, 101, 164));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

} // namespace

int main(int argc, char* argv[]) {
    // Offscreen; a run may name an offscreen screen of its own size
    // (offscreen:configfile=...).
    if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CScreenFit::Install();
    QApplication::setOrganizationName(QStringLiteral("Brennick"));
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    const QStringList arguments = QApplication::arguments();
    const bool bDark = arguments.contains(QStringLiteral("--dark"));
    const QString folder = arguments.size() > 1 && !arguments.last().startsWith(QLatin1Char('-')) &&
                                   arguments.at(arguments.size() - 2) != QLatin1String("--server")
                               ? arguments.last()
                               : QStringLiteral("docs");
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (bDark)
        QApplication::setPalette(DarkPalette());
    CQtServices services;
    CExportSettings settings;

    const std::vector<std::pair<const char*, std::function<QDialog*()>>> dialogs = {
        {"login-ldap",
         [] {
             auto* pSheet = new CLoginSheet(QStringLiteral("Login"), nullptr, 0);
             pSheet->GetLdapPage()->EnsureInitialized();
             pSheet->GetLdapPage()->GetServerCombo()->setEditText(QStringLiteral("ldap.example.com"));
             pSheet->GetLdapPage()->GetBindDNCombo()->setEditText(
                 QStringLiteral("cn=admin,dc=example,dc=com"));
             pSheet->GetLdapPage()->GetSearchBaseCombo()->setEditText(QStringLiteral("dc=example,dc=com"));
             return pSheet;
         }},
        {"login-ldif",
         [] {
             auto* pSheet = new CLoginSheet(QStringLiteral("Login"), nullptr, 1);
             return pSheet;
         }},
        {"add-entry",
         [] {
             auto* pDlg = new CEntryDlg;
             pDlg->RelativeNameEdit()->setText(QStringLiteral("cn=Ada Lovelace"));
             AddRow(pDlg->Editor(), "objectClass", "inetOrgPerson");
             AddRow(pDlg->Editor(), "sn", "Lovelace");
             pDlg->Editor()->NameEdit()->setText(QStringLiteral("mail"));
             pDlg->Editor()->ValueEdit()->setText(QStringLiteral("ada@example.com"));
             return pDlg;
         }},
        {"add-entry-schema",
         [] {
             auto* pDlg = new CEntryDlg;
             pDlg->SetSchema(BuiltinSchema());
             CEntryClassesPanel* pClasses = pDlg->ClassesPanel();
             pClasses->StructuralCombo()->setCurrentText(QStringLiteral("inetOrgPerson"));
             pClasses->AuxiliaryCombo()->setCurrentText(QStringLiteral("posixAccount"));
             pClasses->AddAuxiliaryButton()->click();
             pClasses->NamingCombo()->setCurrentText(QStringLiteral("cn"));
             pDlg->RelativeNameEdit()->setText(QStringLiteral("Ada Lovelace"));
             AddRow(pDlg->Editor(), "mail", "ada@example.com");
             pDlg->Editor()->NameEdit()->setText(QStringLiteral("sn"));
             pDlg->Editor()->ValueEdit()->setText(QStringLiteral("Lovelace"));
             return pDlg;
         }},
        {"add-attributes",
         [] {
             auto* pDlg = new CAddAttributesDlg;
             AddRow(pDlg->Editor(), "telephoneNumber", "+44 20 7946 0000");
             return pDlg;
         }},
        {"modify",
         [] {
             auto* pDlg = new CModifyAttributeDlg(CModifyAttributeDlg::MODE_ATTRIBUTE);
             pDlg->SetReadOnlyText("description");
             pDlg->SetEditText("Head of the analytical engines team");
             return pDlg;
         }},
        {"rename",
         [] {
             auto* pDlg = new CModifyAttributeDlg(CModifyAttributeDlg::MODE_ENTRY);
             pDlg->SetReadOnlyText("cn=Ada Lovelace,ou=Engineering,dc=example,dc=com");
             pDlg->SetEditText("cn=Ada King");
             return pDlg;
         }},
        {"settings", [&settings] { return new CSettingsDlg(&settings); }},
        {"about", [] { return new CAboutDlg; }},
    };
    const QString suffix = (bDark ? QStringLiteral("-dark") : QString()) +
                           (app.devicePixelRatio() > 1 ? QStringLiteral("@2x") : QString());
    for (const auto& [pszName, fnMake] : dialogs) {
        std::unique_ptr<QDialog> pDialog(fnMake());
        pDialog->show();
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        const QString path =
            QStringLiteral("%1/dialog-%2%3.png").arg(folder, QString::fromLatin1(pszName), suffix);
        if (!pDialog->grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("wrote %s\n", qPrintable(path));
    }
    const QString schemaPath = QStringLiteral("%1/schema-browser%2.png").arg(folder, suffix);
    if (!GrabSchemaBrowser(schemaPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(schemaPath));
        return 1;
    }
    std::printf("wrote %s\n", qPrintable(schemaPath));
    const QString mainPath = QStringLiteral("%1/main-window%2.png").arg(folder, suffix);
    if (!GrabMainWindow(mainPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(mainPath));
        return 1;
    }
    std::printf("wrote %s\n", qPrintable(mainPath));
    // --server host:port: a directory server with the demo data.
    const qsizetype nServer = arguments.indexOf(QStringLiteral("--server"));
    if (nServer > 0 && nServer + 1 < arguments.size()) {
        if (!GrabServerWindows(services, arguments.at(nServer + 1), folder, suffix)) {
            std::fprintf(stderr, "cannot take the pictures on %s\n", qPrintable(arguments.at(nServer + 1)));
            return 1;
        }
        std::printf("wrote %s/naming-contexts%s.png and dn-followed%s.png\n", qPrintable(folder),
                    qPrintable(suffix), qPrintable(suffix));
    }
    return 0;
}
