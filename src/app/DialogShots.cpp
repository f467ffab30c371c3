// Takes the pictures of the dialogs in docs/: each dialog as it opens,
// filled in the way a user would have it, grabbed from the offscreen
// platform. Run with QT_SCALE_FACTOR=2 for the pictures at twice the size,
// and with --dark for a dark palette.
#include "ldif/LdifSource.h"
#include "platform/qt/QtServices.h"
#include "session/AboutDlg.h"
#include "session/LdapLoginPage.h"
#include "session/LoginSheet.h"
#include "session/MainFrame.h"
#include "session/TarvoDoc.h"
#include "source/SchemaFiles.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/EntryClassesPanel.h"
#include "ui/EntryDlg.h"
#include "ui/ExportSettings.h"
#include "ui/LdapTreeView.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/SchemaBrowser.h"
#include "ui/SettingsDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>

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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brennick"));
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    const QStringList arguments = QApplication::arguments();
    const bool bDark = arguments.contains(QStringLiteral("--dark"));
    const QString folder = arguments.size() > 1 && !arguments.last().startsWith(QLatin1Char('-'))
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
    return 0;
}
