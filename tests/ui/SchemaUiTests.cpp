// The schema in the dialogs and windows, on slapd's schema: the schema
// window's lists, details and links; Add Entry led by the object classes.

#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "TestServices.h"
#include "model/EntryNode.h"
#include "platform/qt/PlainText.h"
#include "source/DataSource.h"
#include "source/PasswordHash.h"
#include "source/SchemaFiles.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/AttributeRowModel.h"
#include "ui/EntryClassesPanel.h"
#include "ui/EntryDlg.h"
#include "ui/SchemaBrowser.h"
#include "ui/SearchPanel.h"
#include "ui/SetPasswordDlg.h"
#include "ui/WordCompleter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStringListModel>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

namespace {

const std::string kBase = "dc=example,dc=com";

class SchemaUi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start()) << m_server.LastError();
        ASSERT_TRUE(m_panes.OpenServer(m_server, kBase));
        Source()->LoadSchema(m_panes.m_pList);
        m_pSchema = Source()->WaitForSchema(20000);
        ASSERT_NE(m_pSchema, nullptr);
    }
    CDataSource* Source() { return m_panes.m_doc.m_pDataSource; }
    static int Visible(QListWidget* pList) {
        int n = 0;
        for (int i = 0; i < pList->count(); ++i)
            n += pList->item(i)->isHidden() ? 0 : 1;
        return n;
    }

    CSlapdServer m_server;
    CPanes m_panes;
    std::shared_ptr<const CSchema> m_pSchema;
};

using Page = CSchemaBrowser::EPage;

} // namespace

TEST_F(SchemaUi, SchemaWindowListsFiltersAndLinksTheDefinitions) {
    CSchemaBrowser browser;
    browser.SetSchema(m_pSchema);
    EXPECT_EQ(browser.List(Page::kObjectClasses)->count(),
              static_cast<int>(m_pSchema->ObjectClasses().size()));
    EXPECT_EQ(browser.List(Page::kAttributeTypes)->count(),
              static_cast<int>(m_pSchema->AttributeTypes().size()));
    EXPECT_EQ(browser.List(Page::kSyntaxes)->count(), static_cast<int>(m_pSchema->Syntaxes().size()));
    EXPECT_EQ(browser.List(Page::kMatchingRules)->count(),
              static_cast<int>(m_pSchema->MatchingRules().size()));

    browser.FilterEdit(Page::kObjectClasses)->setText(QStringLiteral("POSIX"));
    EXPECT_EQ(Visible(browser.List(Page::kObjectClasses)), 2); // posixAccount, posixGroup

    // By OID too; the inherited attributes name their class.
    ASSERT_TRUE(browser.ShowDefinition(Page::kObjectClasses, QStringLiteral("2.16.840.1.113730.3.2.2")));
    const QString details = browser.DetailsText(Page::kObjectClasses);
    EXPECT_TRUE(details.startsWith(QStringLiteral("inetOrgPerson"))) << details.toStdString();
    EXPECT_TRUE(details.contains(QStringLiteral("sn (from person)")));
    EXPECT_TRUE(details.contains(QStringLiteral("structural")));
    EXPECT_TRUE(details.contains(QStringLiteral("organizationalPerson")));

    // A MUST attribute opens its type, the type its syntax.
    browser.OnLink(QUrl(QStringLiteral("attributetype:sn")));
    EXPECT_EQ(browser.Tabs()->currentIndex(), Page::kAttributeTypes);
    const QString type = browser.DetailsText(Page::kAttributeTypes);
    EXPECT_TRUE(type.contains(QStringLiteral("2.5.4.4")));
    EXPECT_TRUE(type.contains(QStringLiteral("Directory String")));
    EXPECT_TRUE(type.contains(QStringLiteral("caseIgnoreMatch")));
    browser.OnLink(QUrl(QStringLiteral("syntax:1.3.6.1.4.1.1466.115.121.1.27")));
    EXPECT_EQ(browser.Tabs()->currentIndex(), Page::kSyntaxes);
    EXPECT_TRUE(browser.DetailsText(Page::kSyntaxes).contains(QStringLiteral("uidNumber")));
    EXPECT_FALSE(browser.ShowDefinition(Page::kObjectClasses, QStringLiteral("noSuchClass")));
}

TEST(SchemaWindow, ServerTextIsShownAsTextAndNoSchemaIsSaid) {
    auto pSchema = std::make_shared<CSchema>();
    pSchema->AddDefinition(CSchema::kObjectClass,
                           "( 1.2.3 NAME 'odd' DESC '<b>not bold</b> &amp;' MUST cn )");
    pSchema->Resolve();
    CSchemaBrowser browser;
    browser.SetSchema(pSchema);
    ASSERT_TRUE(browser.ShowDefinition(Page::kObjectClasses, QStringLiteral("odd")));
    EXPECT_TRUE(browser.DetailsText(Page::kObjectClasses).contains(QStringLiteral("<b>not bold</b> &amp;")));

    browser.SetSchema(nullptr);
    EXPECT_EQ(browser.List(Page::kObjectClasses)->count(), 0);
    EXPECT_FALSE(browser.Tabs()->isEnabled());
    const auto labels = browser.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* p) {
        return !p->isHidden() && p->text() == QStringLiteral("This source publishes no schema.");
    }));
}

namespace {

// The 1-based row of name and value in the editor's list, or 0.
int RowOf(CAttributeListEditor* pEditor, const char* pszName, const char* pszValue) {
    for (int nRow = 0; nRow < pEditor->GetRowCount(); ++nRow)
        if (pEditor->GetRowName(nRow) == pszName && pEditor->GetRowValue(nRow) == pszValue)
            return nRow + 1;
    return 0;
}

std::vector<std::string> EmptyRows(CAttributeListEditor* pEditor) {
    std::vector<std::string> names;
    for (int nRow = 0; nRow < pEditor->GetRowCount(); ++nRow)
        if (pEditor->GetRowValue(nRow).IsEmpty())
            names.push_back(Str(pEditor->GetRowName(nRow)));
    return names;
}

} // namespace

TEST_F(SchemaUi, AddEntryAsksForClassesRefusesWhatTheSchemaForbidsAndSendsAGoodEntry) {
    bool bDriven = false;
    DriveNextModal([&](QWidget* pModal) {
        auto* pDlg = qobject_cast<CEntryDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        CEntryClassesPanel* pClasses = pDlg->ClassesPanel();
        ASSERT_NE(pClasses, nullptr);
        CAttributeListEditor* pEditor = pDlg->Editor();
        auto box = [&]() { return Str(m_panes.m_services.m_boxes.LastText()); };
        // OK refuses; each finding names the row as the list shows it then.
        struct Finding {
            const char* pszName;
            const char* pszValue;
            const char* pszWhy;
        };
        auto refused = [&](std::initializer_list<Finding> findings) {
            m_panes.m_services.m_boxes.Clear();
            pDlg->OnOK();
            EXPECT_TRUE(pDlg->isVisible());
            const std::string text = box();
            EXPECT_EQ(text.rfind(CEntryClassesPanel::kRefusedText, 0), 0u) << text;
            for (const Finding& f : findings) {
                const std::string line = "\nRow " + std::to_string(RowOf(pEditor, f.pszName, f.pszValue)) +
                                         ", " + f.pszName + ": " + f.pszWhy;
                EXPECT_NE(text.find(line), std::string::npos) << line << " not in:\n" << text;
            }
        };

        // The structural class first, then an auxiliary one: their required
        // attributes become rows to fill in; the others are offered.
        pClasses->StructuralCombo()->setCurrentText(QStringLiteral("inetOrgPerson"));
        pClasses->AuxiliaryCombo()->setCurrentText(QStringLiteral("posixAccount"));
        pClasses->AddAuxiliaryButton()->click();
        EXPECT_EQ(Str(TextToBytes(pClasses->ClassesLabel()->text())), "Classes: inetOrgPerson, posixAccount");
        EXPECT_GT(RowOf(pEditor, "objectClass", "posixAccount"), 0);
        std::vector<std::string> empty = EmptyRows(pEditor);
        std::sort(empty.begin(), empty.end());
        EXPECT_EQ(empty,
                  (std::vector<std::string>{"cn", "gidNumber", "homeDirectory", "sn", "uid", "uidNumber"}));
        const QStringList offered =
            static_cast<QStringListModel*>(pClasses->NameCompleter()->model())->stringList();
        EXPECT_TRUE(offered.contains(QStringLiteral("sn")));
        EXPECT_TRUE(offered.contains(QStringLiteral("mail")));
        EXPECT_LT(offered.indexOf(QStringLiteral("uidNumber")), offered.indexOf(QStringLiteral("mail")));
        EXPECT_TRUE(pClasses->Allowed().IsRequired("SN"));

        pClasses->NamingCombo()->setCurrentText(QStringLiteral("cn"));
        pDlg->RelativeNameEdit()->setText(QStringLiteral("Ada Lovelace"));
        for (auto [pszName, pszValue] :
             std::initializer_list<std::pair<const char*, const char*>>{{"uid", "ada"},
                                                                        {"gidNumber", "100"},
                                                                        {"homeDirectory", "/home/ada"},
                                                                        {"c", "FI"},
                                                                        {"uidNumber", "abc"},
                                                                        {"favouriteColour", "blue"}})
            AddRow(pEditor, QString::fromUtf8(pszName), QString::fromUtf8(pszValue));
        refused({{"c", "FI", "not allowed by the object classes of the entry"},
                 {"uidNumber", "abc", "must be a whole number, such as 42 or -7"},
                 {"favouriteColour", "blue", "not an attribute type of this directory"},
                 {"sn", "", "required by person, but has no value"}});
        // The name's value went into its row at the first OK.
        EXPECT_GT(RowOf(pEditor, "cn", "Ada Lovelace"), 0);

        // extensibleObject lets c in, but only once.
        pClasses->AuxiliaryCombo()->setCurrentText(QStringLiteral("extensibleObject"));
        pClasses->AddAuxiliaryButton()->click();
        AddRow(pEditor, QStringLiteral("c"), QStringLiteral("GB"));
        refused({{"c", "GB", "takes one value only"}});

        for (auto [pszName, pszValue] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"c", "GB"}, {"uidNumber", "abc"}, {"favouriteColour", "blue"}})
            pEditor->RemoveRowAt(RowOf(pEditor, pszName, pszValue) - 1);
        AddRow(pEditor, QStringLiteral("sn"), QStringLiteral("Lovelace"));
        AddRow(pEditor, QStringLiteral("uidNumber"), QStringLiteral("1001"));
        m_panes.m_services.m_boxes.Clear();
        pDlg->OnOK();
        EXPECT_EQ(m_panes.m_services.m_boxes.Count(), 0) << box();
        EXPECT_FALSE(pDlg->isVisible());
        bDriven = true;
    });
    m_panes.m_pTree->SelectItem(m_panes.Root());
    m_panes.m_pTree->OnAddEntry();
    ASSERT_TRUE(bDriven);
    const std::string dn = "cn=Ada Lovelace," + kBase;
    ASSERT_TRUE(WaitUntil([&] { return m_server.Exists(dn); }));
    EXPECT_EQ(m_server.Values(dn, "sn"), std::vector<std::string>{"Lovelace"});
    EXPECT_EQ(m_server.Values(dn, "c"), std::vector<std::string>{"FI"});
    EXPECT_EQ(m_server.Values(dn, "uidNumber"), std::vector<std::string>{"1001"});
    std::vector<std::string> classes = m_server.Values(dn, "objectClass");
    std::sort(classes.begin(), classes.end());
    EXPECT_EQ(classes, (std::vector<std::string>{"extensibleObject", "inetOrgPerson", "posixAccount"}));
}

TEST(AddEntryWithoutSchema, IsThePlainEditor) {
    CEntryDlg dlg;
    dlg.SetSchema(nullptr);
    EXPECT_EQ(dlg.ClassesPanel(), nullptr);
    AddRow(dlg.Editor(), QStringLiteral("cn"), QStringLiteral("x"));
    dlg.OnOK(); // no name: closes as Cancel, as it always has
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(SetPasswordUi, TheDialogAsksTwiceWarnsOfClearTextAndTheValueStaysMaskedOffTheClipboard) {
    CTempDir dir;
    CPanes panes;
    CEntryNode* pRoot =
        panes.OpenLdif(dir.File("people.ldif"),
                       "dn: cn=Ada,dc=example,dc=com\nobjectClass: person\ncn: Ada\nsn: Lovelace\n"
                       "userPassword: old\n",
                       "cn=Ada,dc=example,dc=com");
    ASSERT_NE(pRoot, nullptr);

    CSetPasswordDlg dialog(pRoot->GetDN(), false);
    ASSERT_NE(dialog.SchemeCombo(), nullptr);
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.ConfirmEdit()->echoMode(), QLineEdit::Password);
    auto& boxes = panes.m_services.m_boxes;
    dialog.OnOK();
    EXPECT_EQ(Str(boxes.LastText()), CSetPasswordDlg::kEmptyText);
    dialog.PasswordEdit()->setText(QStringLiteral("s3cret"));
    dialog.ConfirmEdit()->setText(QStringLiteral("s3cre7"));
    dialog.OnOK();
    EXPECT_EQ(Str(boxes.LastText()), CSetPasswordDlg::kDifferText);
    dialog.ConfirmEdit()->setText(QStringLiteral("s3cret"));
    dialog.SchemeCombo()->setCurrentIndex(2); // clear text: asked first, No keeps the dialog
    boxes.SetNextAnswer(IDNO);
    dialog.OnOK();
    EXPECT_EQ(Str(boxes.LastText()), CSetPasswordDlg::kClearTextWarning);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.SchemeCombo()->setCurrentIndex(0);
    dialog.OnOK();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.PasswordEdit()->text().isEmpty());
    const CString password = dialog.TakePassword();
    EXPECT_EQ(Str(password), "s3cret");
    EXPECT_TRUE(dialog.TakePassword().IsEmpty()); // read once

    // The file source makes the {SSHA} value itself.
    auto pChange = panes.m_doc.m_pDataSource->SetPassword(pRoot, password, dialog.GetScheme());
    ASSERT_TRUE(pChange->bDone && pChange->bChanged);
    const CAttribute* pStored = pRoot->FindAttribute("userPassword");
    ASSERT_TRUE(pStored && pStored->GetSize() == 1);
    EXPECT_TRUE(PasswordMatches(pStored->GetAt(0), "s3cret"));

    // The pane shows the scheme and dots until Show Passwords; Copy leaves it out.
    panes.m_doc.UpdateAllViews(nullptr, HINT_SHOW_ENTRY, pRoot);
    const int nRow = panes.RowOf("userPassword=" + Str(pStored->GetAt(0)));
    ASSERT_GE(nRow, 0);
    CAttributeRowModel* pModel = panes.m_pList->GetModel();
    const QModelIndex value = pModel->index(nRow, 1);
    EXPECT_EQ(pModel->data(value).toString(), QStringLiteral("{SSHA} ") + QString(8, QChar(0x2022)));
    panes.m_pList->GetShowPasswordsAction()->setChecked(true);
    EXPECT_EQ(pModel->data(value).toString(), BytesToText(pStored->GetAt(0)));
    panes.m_pList->GetShowPasswordsAction()->setChecked(false);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    panes.m_pList->SelectRows({nRow});
    panes.m_pList->OnCopy(false);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(SchemaUi, ThePanesFollowTheSchemaOperationalAttributesTipsAndRefusals) {
    // Operational attributes on request, greyed and read-only; descriptions
    // and local times as tooltips.
    Source()->SetShowOperational(true);
    HTREEITEM hRoot = m_panes.Root();
    m_panes.m_pTree->ExpandItem(hRoot);
    ASSERT_TRUE(WaitUntil([&] { return m_panes.Child(hRoot, "ou=People") != nullptr; }));
    ASSERT_TRUE(m_panes.m_pTree->ClickItem(m_panes.Child(hRoot, "ou=People")));
    ASSERT_TRUE(WaitUntil([&] {
        for (const std::string& row : m_panes.Rows())
            if (row.rfind("createTimestamp=", 0) == 0)
                return true;
        return false;
    }));
    // The read has ended once the entry's commands are back.
    ASSERT_TRUE(WaitUntil([&] {
        CEntryNode* pShown = m_panes.m_pList->GetCurrentEntry();
        return pShown && pShown->CanModifyAttribute() && pShown->CanAddAttribute();
    }));
    CAttributeRowModel* pModel = m_panes.m_pList->GetModel();
    int nCreated = -1, nOu = -1;
    for (int nRow = 0; nRow < m_panes.m_pList->GetRowCount(); ++nRow) {
        if (m_panes.m_pList->GetRowName(nRow) == "createTimestamp")
            nCreated = nRow;
        if (m_panes.m_pList->GetRowName(nRow) == "ou")
            nOu = nRow;
    }
    ASSERT_TRUE(nCreated >= 0 && nOu >= 0);
    EXPECT_TRUE(pModel->data(pModel->index(nCreated, 1), Qt::ForegroundRole).isValid());
    EXPECT_FALSE(pModel->data(pModel->index(nOu, 1), Qt::ForegroundRole).isValid());
    EXPECT_TRUE(pModel->data(pModel->index(nCreated, 1), Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("Local time: ")));
    EXPECT_EQ(ToolTipPlainText(pModel->data(pModel->index(nOu, 0), Qt::ToolTipRole).toString()),
              BytesToText(m_pSchema->FindAttributeType("ou")->m_strDesc));
    m_panes.m_services.m_boxes.Clear();
    m_panes.m_pList->SelectRows({nCreated});
    m_panes.m_pList->OnModifyAttribute(); // refused before any dialog opens
    EXPECT_EQ(Str(m_panes.m_services.m_boxes.LastText()),
              "createTimestamp: is set by the server, not by the user");

    // Add Attributes: a second value of a single-valued attribute and a
    // wrong syntax are named; the dialog stays open until they are fixed.
    m_panes.m_services.m_boxes.Clear();
    DriveNextModal([&](QWidget* pModal) {
        auto* pDlg = qobject_cast<CAddAttributesDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        AddRow(pDlg->Editor(), QStringLiteral("st"), QStringLiteral("Uusimaa"));
        AddRow(pDlg->Editor(), QStringLiteral("postalAddress"), QStringLiteral("a$$b"));
        AddRow(pDlg->Editor(), QStringLiteral("mail"), QStringLiteral("x@y"));
        pDlg->OnOK();
        EXPECT_TRUE(pDlg->isVisible());
        EXPECT_EQ(
            Str(m_panes.m_services.m_boxes.LastText()),
            std::string(CAddAttributesDlg::kRefusedText) +
                "\nRow 2, postalAddress: must be lines separated by $, none empty (write $ as \\24 and \\ as "
                "\\5C)\nRow 3, mail: not allowed by the object classes of the entry");
        pDlg->Editor()->RemoveRowAt(2);
        pDlg->Editor()->RemoveRowAt(1);
        pDlg->OnOK();
        EXPECT_FALSE(pDlg->isVisible());
    });
    m_panes.m_pList->OnAddAttributes();
    ASSERT_TRUE(WaitUntil([&] { return !m_server.Values("ou=People," + kBase, "st").empty(); }));

    // The search filter's unknown names are a warning only.
    CSearchPanel panel(&m_panes.m_doc, m_panes.m_pTree);
    panel.FilterCombo()->setEditText(QStringLiteral("(&(shoeSize=9)(cn=a)(colour=red))"));
    EXPECT_EQ(Str(panel.GetFilterWarning()),
              std::string(CSearchPanel::kUnknownTypesText) + "shoeSize, colour");
    EXPECT_TRUE(panel.GetFilterError().IsEmpty());
    EXPECT_EQ(panel.FilterErrorLabel()->text(), BytesToText(panel.GetFilterWarning()));
    panel.FilterCombo()->setEditText(QStringLiteral("(cn=a)"));
    EXPECT_TRUE(panel.GetFilterWarning().IsEmpty());

    // The attributes field completes the word being typed, not the line.
    QLineEdit* pAttributes = panel.AttributesEdit();
    pAttributes->setFocus();
    pAttributes->selectAll();
    QTest::keyClicks(pAttributes, QStringLiteral("cn, telephoneN"));
    auto* pCompleter = pAttributes->findChild<CWordCompleter*>();
    ASSERT_NE(pCompleter, nullptr);
    EXPECT_EQ(pCompleter->currentCompletion(), QStringLiteral("telephoneNumber"));
    emit pCompleter->activated(pCompleter->currentCompletion());
    EXPECT_EQ(pAttributes->text(), QStringLiteral("cn, telephoneNumber"));
    int nCursor = 0;
    EXPECT_EQ(CWordCompleter::ReplaceWord(QStringLiteral("cn,ma sn"), 5, QStringLiteral("mail"), &nCursor),
              QStringLiteral("cn,mail sn"));
    EXPECT_EQ(nCursor, 7);
}

TEST_F(SchemaUi, SetPasswordFromTheEntrysMenuReachesTheServer) {
    HTREEITEM hRoot = m_panes.Root();
    m_panes.m_pTree->ExpandItem(hRoot);
    ASSERT_TRUE(WaitUntil([&] { return m_panes.Child(hRoot, "ou=People") != nullptr; }));
    HTREEITEM hPeople = m_panes.Child(hRoot, "ou=People");
    m_panes.m_pTree->ExpandItem(hPeople);
    ASSERT_TRUE(WaitUntil([&] { return m_panes.Child(hPeople, "cn=Alice") != nullptr; }));
    m_panes.m_pTree->RightClickItem(m_panes.Child(hPeople, "cn=Alice"));
    m_panes.m_pTree->GetContextMenu()->close();
    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CSetPasswordDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->SchemeCombo(), nullptr); // slapd hashes it itself
        pDlg->PasswordEdit()->setText(QStringLiteral("from the menu"));
        pDlg->ConfirmEdit()->setText(QStringLiteral("from the menu"));
        pDlg->OnOK();
    });
    m_panes.m_pTree->GetMenuAction(ID_SET_PASSWORD)->trigger();
    const std::string alice = "cn=Alice,ou=People," + kBase;
    EXPECT_TRUE(m_panes.StatusShown(0, ("Password set for " + alice).c_str()));
    int nExit = -1;
    m_server.RunTool("ldapwhoami -x -H " + m_server.Url() + " -D '" + alice + "' -w 'from the menu'", &nExit);
    EXPECT_EQ(nExit, 0);
}

// Values to follow: by their syntax when the schema knows the attribute
// (roleOccupant inherits DN from distinguishedName), else by the usual names.
TEST_F(SchemaUi, DnValuesAreKnownByTheSchemasSyntax) {
    for (const char* pszName : {"member", "uniqueMember", "roleOccupant", "SEEALSO"})
        EXPECT_TRUE(IsDnValued(m_pSchema.get(), pszName)) << pszName;
    for (const char* pszName : {"description", "cn", "telephoneNumber"})
        EXPECT_FALSE(IsDnValued(m_pSchema.get(), pszName)) << pszName;
    EXPECT_TRUE(IsDnValued(nullptr, "manager"));
    EXPECT_FALSE(IsDnValued(nullptr, "roleOccupant"));
}
