// The editing dialogs and the export settings: exact texts, the collection
// rules and the Cancel cases, driven through their real controls.

#include "UiTestSupport.h"

#include "model/Attribute.h"
#include "platform/Services.h"
#include "session/AboutDlg.h"
#include "session/LoginSheet.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/BinaryValueDlg.h"
#include "ui/EntryDlg.h"
#include "ui/ExportSettings.h"
#include "ui/ImportLdifDlg.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/SettingsDlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

namespace {

std::vector<std::string> Describe(const CAttributeArray& attributes) {
    std::vector<std::string> out;
    for (const CAttribute* pAttribute : attributes) {
        std::string line = pAttribute->m_strName.Str() + ":";
        for (const CString& value : *pAttribute)
            line += " " + value.Str();
        out.push_back(line);
    }
    return out;
}

QPushButton* Button(QWidget* pDialog, const QString& text) {
    for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
        if (pButton->text() == text)
            return pButton;
    return nullptr;
}

bool HasLabelOrButton(QWidget* pDialog, const QString& text) {
    for (QLabel* pLabel : pDialog->findChildren<QLabel*>())
        if (pLabel->text() == text)
            return true;
    return Button(pDialog, text) != nullptr;
}

// Every text the shown dialog carries is as wide as it asks to be and lies
// inside the dialog; its lists need no horizontal scroll bar.
void ExpectTextsFit(QWidget* pDialog, const std::string& where) {
    int nChecked = 0;
    for (QWidget* pChild : pDialog->findChildren<QWidget*>()) {
        if (!pChild->isVisible())
            continue;
        QString text;
        int nWanted = 0;
        if (auto* pLabel = qobject_cast<QLabel*>(pChild)) {
            text = pLabel->text();
            nWanted = pLabel->sizeHint().width();
        } else if (auto* pButton = qobject_cast<QAbstractButton*>(pChild)) {
            text = pButton->text();
            nWanted = pButton->sizeHint().width();
        } else if (auto* pGroup = qobject_cast<QGroupBox*>(pChild)) {
            text = pGroup->title();
            nWanted = pGroup->minimumSizeHint().width();
        } else if (auto* pList = qobject_cast<QTreeWidget*>(pChild)) {
            EXPECT_FALSE(pList->horizontalScrollBar()->isVisible()) << where;
        }
        if (text.isEmpty())
            continue;
        ++nChecked;
        EXPECT_GE(pChild->width(), nWanted) << where << ": \"" << text.toStdString() << "\" is cut";
        // A page that scrolls holds its texts whole; the dialog shows a part.
        QWidget* pHolder = pDialog;
        for (QWidget* p = pChild->parentWidget(); p && p != pDialog; p = p->parentWidget())
            if (auto* pScroll = qobject_cast<QScrollArea*>(p);
                pScroll && pScroll->widget()->isAncestorOf(pChild))
                pHolder = pScroll->widget();
        const QRect inDialog(pChild->mapTo(pHolder, QPoint(0, 0)), pChild->size());
        EXPECT_TRUE(pHolder->rect().contains(inDialog))
            << where << ": \"" << text.toStdString() << "\" runs past the dialog's edge";
    }
    EXPECT_GT(nChecked, 2) << where;
}

} // namespace

TEST(DialogLayout, ExactTextsAndEveryTextFitsAtTheDefaultFontAndOneHalfLarger) {
    CTestServices services;
    CExportSettings settings;
    const QFont defaultFont = QApplication::font();
    struct Case {
        const char* name;
        const char* title; // nullptr: checked with its own tests
        QStringList texts; // labels and buttons
        std::function<QDialog*()> fnMake;
        int nPages = 1; // login sheet pages shown one after the other
    };
    using CModify = CModifyAttributeDlg;
    const QStringList entryTexts{"Na&me (Relative DN Only):", "&Name :", "&Value :", "&Attribute list:"};
    const Case cases[] = {
        {"Add Entry", "Add Entry", entryTexts, [] { return new CEntryDlg; }},
        {"Add Attributes", "Add Attributes", {"&Name:", "&Value:"}, [] { return new CAddAttributesDlg; }},
        {"Modify (attribute)", "Modify Value", {}, [] { return new CModify(CModify::MODE_ATTRIBUTE); }},
        {"Modify (entry)", "Rename Entry", {}, [] { return new CModify(CModify::MODE_ENTRY); }},
        {"Settings",
         "Settings",
         {"&Filename:", "Entries per page", "..."},
         [&] { return new CSettingsDlg(&settings); }},
        {"About", nullptr, {}, [] { return new CAboutDlg; }},
        {"Login", nullptr, {}, [] { return new CLoginSheet(QStringLiteral("Login"), nullptr, 0); }, 2},
        {"Import LDIF",
         "Import LDIF",
         {"LDIF &file:", "&Import", "&Stop", "Close"},
         [] { return new CImportLdifDlg(CConnectionParams()); }},
        {"Binary value",
         "Modify Value",
         {"&Save Value to File...", "&Load New Value from File..."},
         [] {
             return new CBinaryValueDlg("jpegPhoto", CString(std::string("\xFF\xD8\xFF\xE0", 4)), nullptr);
         }},
    };
    for (double dScale : {1.0, 1.5}) {
        QFont font = defaultFont;
        font.setPointSizeF(defaultFont.pointSizeF() * dScale);
        QApplication::setFont(font);
        for (const Case& c : cases) {
            std::unique_ptr<QDialog> pDialog(c.fnMake());
            pDialog->show();
            PumpEvents();
            if (c.title) {
                EXPECT_EQ(pDialog->windowTitle(), c.title);
            }
            for (const QString& text : c.texts)
                EXPECT_TRUE(HasLabelOrButton(pDialog.get(), text)) << c.name << ": " << text.toStdString();
            for (int nPage = 0; nPage < c.nPages; ++nPage) {
                if (auto* pSheet = qobject_cast<CLoginSheet*>(pDialog.get())) {
                    pSheet->SetPage(nPage);
                    PumpEvents();
                }
                const std::string where = std::string(c.name) + " page " + std::to_string(nPage) + " at " +
                                          std::to_string(dScale) + "x";
                ExpectTextsFit(pDialog.get(), where);
                // Whatever the scale and the font, the whole dialog is on the screen.
                const QRect screen = pDialog->screen()->availableGeometry();
                EXPECT_TRUE(screen.contains(pDialog->frameGeometry()))
                    << where << ": " << pDialog->frameGeometry().width() << "x"
                    << pDialog->frameGeometry().height() << " on " << screen.width() << "x"
                    << screen.height();
            }
        }
    }
    QApplication::setFont(defaultFont);
}

// The widgets Tab visits from pFirst, in order, until it comes back.
std::vector<QWidget*> TabChain(QWidget* pFirst) {
    std::vector<QWidget*> chain{pFirst};
    for (QWidget* p = pFirst->nextInFocusChain(); p != pFirst; p = p->nextInFocusChain())
        if ((p->focusPolicy() & Qt::TabFocus) && p->isVisible() && p->isEnabled())
            chain.push_back(p);
    return chain;
}

// The editor's widgets in their Tab order, then OK and Cancel.
std::vector<QWidget*> EditorChain(QDialog* pDialog, CAttributeListEditor* p) {
    std::vector<QWidget*> chain{p->NameEdit(), p->ValueEdit(), p->AddButton(), p->RemoveButton(), p->List()};
    chain.insert(chain.end(), {Button(pDialog, "&OK"), Button(pDialog, "&Cancel")});
    return chain;
}

TEST(DialogLayout, TheEditorsKeepTheirTabOrder) {
    CEntryDlg entry;
    entry.show();
    std::vector<QWidget*> expected = EditorChain(&entry, entry.Editor());
    expected.insert(expected.begin(), entry.RelativeNameEdit());
    EXPECT_EQ(TabChain(entry.RelativeNameEdit()), expected);
    CAddAttributesDlg add;
    add.show();
    EXPECT_EQ(TabChain(add.Editor()->NameEdit()), EditorChain(&add, add.Editor()));
}

TEST(EntryDialog, CollectsRowsByExactNameInOrderOfFirstAppearance) {
    CEntryDlg dlg;
    QTreeWidget* pList = dlg.Editor()->List();
    EXPECT_EQ(pList->headerItem()->text(0), "Attribute Name");
    EXPECT_EQ(pList->headerItem()->text(1), "Attribute Value");

    dlg.RelativeNameEdit()->setText("cn=x");
    for (auto [name, value] : {std::pair{"cn", "a"}, {"sn", "b"}, {"cn", "c"}, {"mail", "x"}, {"Mail", "y"}})
        AddRow(dlg.Editor(), name, value);
    EXPECT_TRUE(dlg.Editor()->NameEdit()->text().isEmpty());
    EXPECT_TRUE(dlg.Editor()->ValueEdit()->text().isEmpty());
    // Typed but not moved into the list: ignored.
    dlg.Editor()->NameEdit()->setText("ignored");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Str(dlg.GetRelativeName()), "cn=x");
    EXPECT_EQ(Describe(dlg.GetAttributes()),
              (std::vector<std::string>{"cn: a c", "sn: b", "mail: x", "Mail: y"}));
    CAttributeArray taken;
    dlg.TakeAttributes(taken);
    EXPECT_TRUE(dlg.GetAttributes().IsEmpty());
    DeleteAttributes(taken);
}

TEST(EntryDialog, RefusesEmptyRowsCancelsWithoutNameOrRowsAndRemovesTheFirstSelectedRow) {
    CEntryDlg dlg;
    dlg.Editor()->NameEdit()->setText("cn");
    dlg.Editor()->AddButton()->click();
    EXPECT_EQ(dlg.Editor()->GetRowCount(), 0);
    EXPECT_EQ(dlg.Editor()->NameEdit()->text(), "cn") << "the typed name stays";
    AddRow(dlg.Editor(), "cn", "a");
    // Rows but no relative name: the caller sees Cancel.
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(dlg.GetAttributes().IsEmpty());

    CEntryDlg noRows;
    noRows.RelativeNameEdit()->setText("cn=x");
    noRows.OnOK();
    EXPECT_EQ(noRows.result(), QDialog::Rejected);

    // Remove deletes the first selected row.
    CAttributeListEditor* pEditor = noRows.Editor();
    for (auto [name, value] : {std::pair{"a", "1"}, {"b", "2"}, {"c", "3"}})
        AddRow(pEditor, name, value);
    pEditor->RemoveButton()->click(); // nothing selected: nothing removed
    EXPECT_EQ(pEditor->GetRowCount(), 3);
    pEditor->List()->topLevelItem(2)->setSelected(true);
    pEditor->List()->topLevelItem(1)->setSelected(true);
    pEditor->RemoveButton()->click();
    ASSERT_EQ(pEditor->GetRowCount(), 2);
    EXPECT_EQ(Str(pEditor->GetRowName(0)), "a");
    EXPECT_EQ(Str(pEditor->GetRowName(1)), "c");
}

TEST(EntryDialog, ModalRunEndsWithOkAndCancel) {
    CEntryDlg dlg;
    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CEntryDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        pDlg->RelativeNameEdit()->setText("ou=new");
        AddRow(pDlg->Editor(), "ou", "new");
        Button(pDlg, "&OK")->click();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(Describe(dlg.GetAttributes()), (std::vector<std::string>{"ou: new"}));

    CEntryDlg cancelled;
    DriveNextModal([](QWidget* pModal) { Button(pModal, "&Cancel")->click(); });
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
}

// Enter in the value edit moves a typed row into the list; Enter elsewhere is
// OK, which takes a typed row not yet in the list along.
template <class TDialog> void ExpectTypedRowsKept() {
    for (bool bRetypeSameRow : {false, true}) {
        TDialog dlg;
        if constexpr (requires { dlg.RelativeNameEdit(); })
            dlg.RelativeNameEdit()->setText("cn=x");
        dlg.show();
        CAttributeListEditor* pEditor = dlg.Editor();
        QTest::keyClicks(pEditor->NameEdit(), "cn");
        QTest::keyClick(pEditor->NameEdit(), Qt::Key_Return); // no value yet: this is OK
        EXPECT_EQ(dlg.result(), QDialog::Rejected) << "OK with nothing collected";
        dlg.setResult(0);
        dlg.show();
        QTest::keyClicks(pEditor->ValueEdit(), "a");
        QTest::keyClick(pEditor->ValueEdit(), Qt::Key_Return);
        ASSERT_EQ(pEditor->GetRowCount(), 1);
        EXPECT_TRUE(dlg.isVisible()) << "Enter in the value edit adds, it does not close";
        EXPECT_TRUE(pEditor->NameEdit()->text().isEmpty());
        QTest::keyClicks(pEditor->NameEdit(), bRetypeSameRow ? "cn" : "sn");
        QTest::keyClicks(pEditor->ValueEdit(), bRetypeSameRow ? "a" : "b");
        QTest::keyClick(pEditor->NameEdit(), Qt::Key_Return);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        const std::vector<std::string> expected =
            bRetypeSameRow ? std::vector<std::string>{"cn: a"} : std::vector<std::string>{"cn: a", "sn: b"};
        EXPECT_EQ(Describe(dlg.GetAttributes()), expected);
    }
}

TEST(AttributeEditors, EnterAndOkKeepWhatWasTyped) {
    ExpectTypedRowsKept<CEntryDlg>();
    ExpectTypedRowsKept<CAddAttributesDlg>();
}

TEST(AddAttributesDialog, GroupsByNameAndRefusesWhatIsNotAnAttributeName) {
    CTestServices services;
    CAddAttributesDlg dlg;
    // A name that would break the entry (or forge another in a file) never
    // reaches the list; the typed text stays for correction.
    const struct {
        const char* name;
        const char* message;
    } refused[] = {
        {"",
         "Name: \"\" is not an attribute name. Use a letter followed by letters, digits and hyphens (options "
         "after a semicolon, as in description;lang-de), or a numeric OID."},
        {"mail:work", nullptr},
        {"cn x", nullptr},
        {"DN", "Name: \"DN\" is not an attribute name: the DN of an entry is set by its relative name."},
    };
    for (const auto& c : refused) {
        services.m_boxes.Clear();
        AddRow(dlg.Editor(), c.name, "v");
        EXPECT_EQ(dlg.Editor()->GetRowCount(), 0) << c.name;
        EXPECT_EQ(dlg.Editor()->NameEdit()->text(), c.name);
        ASSERT_EQ(services.m_boxes.Count(), 1) << c.name;
        if (c.message) {
            EXPECT_EQ(Str(services.m_boxes.Boxes()[0].text), c.message);
        }
    }
    for (auto [name, value] : {std::pair{"ou", "a"}, {"description;lang-de", ""}, {"ou", "b"}})
        AddRow(dlg.Editor(), name, value);
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Describe(dlg.GetAttributes()), (std::vector<std::string>{"ou: a b", "description;lang-de: "}));

    CAddAttributesDlg empty;
    empty.OnOK();
    EXPECT_EQ(empty.result(), QDialog::Rejected);
}

TEST(EntryDialog, RelativeNamesAreEscapedOrRefused) {
    CTestServices services;
    const struct {
        const char* typed;
        const char* rdn; // nullptr: refused, the dialog stays open
    } cases[] = {
        {"cn=Smith, J", "cn=Smith\\, J"},
        {"cn=Smith\\2C J", "cn=Smith\\2C J"},
        {"uid=a+cn=b", "uid=a+cn=b"},
        {"Smith", nullptr},
    };
    for (const auto& c : cases) {
        CEntryDlg dlg;
        dlg.RelativeNameEdit()->setText(c.typed);
        AddRow(dlg.Editor(), "cn", "x");
        services.m_boxes.Clear();
        dlg.OnOK();
        if (c.rdn) {
            EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.typed;
            EXPECT_EQ(Str(dlg.GetRelativeName()), c.rdn);
        } else {
            EXPECT_EQ(dlg.result(), 0) << "still open";
            ASSERT_EQ(services.m_boxes.Count(), 1);
            EXPECT_EQ(
                Str(services.m_boxes.Boxes()[0].text),
                "Name (Relative DN Only): \"Smith\" is not a relative DN. Type it as attribute=value, for "
                "example cn=Smith.");
        }
    }
}

TEST(ModifyDialog, LabelsEmptyFieldCancelAndUntouchedBytes) {
    CModifyAttributeDlg attributeMode(CModifyAttributeDlg::MODE_ATTRIBUTE);
    attributeMode.SetReadOnlyText("mail");
    attributeMode.SetEditText("a@example.com");
    attributeMode.InitDialog();
    EXPECT_EQ(attributeMode.FirstLabel()->text(), "Name");
    EXPECT_EQ(attributeMode.SecondLabel()->text(), "Value");
    EXPECT_TRUE(attributeMode.ReadOnlyEdit()->isReadOnly());
    // What cannot be changed does not look like a place to type.
    EXPECT_EQ(attributeMode.ReadOnlyEdit()->palette().color(QPalette::Base),
              attributeMode.palette().color(QPalette::Window));
    EXPECT_NE(attributeMode.EditableEdit()->palette().color(QPalette::Base),
              attributeMode.ReadOnlyEdit()->palette().color(QPalette::Base));
    EXPECT_FALSE(attributeMode.ReadOnlyEdit()->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(attributeMode.EditableEdit()->text(), "a@example.com");
    attributeMode.EditableEdit()->clear();
    attributeMode.OnOK();
    EXPECT_EQ(attributeMode.result(), QDialog::Rejected);

    // The DN reads as the tree shows it; the rename is sent for the server's form.
    CModifyAttributeDlg entryMode(CModifyAttributeDlg::MODE_ENTRY);
    entryMode.SetReadOnlyText("cn=Smith\\2C J,o=b");
    entryMode.InitDialog();
    EXPECT_EQ(entryMode.windowTitle(), "Rename Entry");
    EXPECT_EQ(entryMode.ReadOnlyEdit()->text(), "cn=Smith\\, J,o=b");
    EXPECT_EQ(Str(entryMode.GetReadOnlyText()), "cn=Smith\\2C J,o=b");
    EXPECT_EQ(entryMode.FirstLabel()->text(), "Old");
    EXPECT_EQ(entryMode.SecondLabel()->text(), "New");
    entryMode.EditableEdit()->setText("cn=c");
    entryMode.OnOK();
    EXPECT_EQ(entryMode.result(), QDialog::Accepted);
    EXPECT_EQ(Str(entryMode.GetEditText()), "cn=c");

    // An untouched value not valid UTF-8: shown with a replacement character, kept as it was.
    CString raw("caf\xe9", 4);
    CModifyAttributeDlg dlg(CModifyAttributeDlg::MODE_ATTRIBUTE);
    dlg.SetReadOnlyText("description");
    dlg.SetEditText(raw);
    dlg.InitDialog();
    EXPECT_TRUE(dlg.EditableEdit()->text().contains(QChar(0xFFFD)));
    dlg.OnOK();
    EXPECT_EQ(dlg.GetEditText(), raw);
}

TEST(ExportSettings, LoadsDefaultsAndStoresEveryKey) {
    CTestServices services;
    {
        CExportSettings settings;
        EXPECT_EQ(Str(settings.GetFilename()), "");
        // A new profile saves the whole subtree and renames drop the old name.
        EXPECT_EQ(settings.GetSaveOption(), SAVE_WHOLE_SUBTREE);
        EXPECT_TRUE(settings.GetDeleteOldRdn());
        EXPECT_EQ(settings.GetEntryAsRDN(), 1);
        EXPECT_EQ(settings.GetEntriesPerPage(), 500);
        settings.SetFilename("/tmp/out.ldif");
        EXPECT_FALSE(services.m_profile.Has("SaveToLDIF", "Filename"))
            << "setting the name alone writes nothing";
        settings.SetSaveOption(2);
        EXPECT_EQ(Str(services.m_profile.GetProfileString("SaveToLDIF", "Filename", "")), "/tmp/out.ldif");
        settings.SetEntryAsRDN(0);
        settings.SetEntriesPerPage(0);
        settings.SetDeleteOldRdn(false);
    }
    EXPECT_EQ(services.m_profile.GetProfileInt("UI", "DeleteOldRDN", -1), 0);
    EXPECT_EQ(services.m_profile.GetProfileInt("SaveToLDIF", "SaveOptionNumber", -1), 2);
    EXPECT_EQ(services.m_profile.GetProfileInt("UI", "EntryAsRDN", -1), 0);
    EXPECT_EQ(services.m_profile.GetProfileInt("UI", "EntriesPerPage", -1), 0);
    CExportSettings reloaded;
    EXPECT_EQ(reloaded.GetEntriesPerPage(), 0);
    EXPECT_EQ(reloaded.GetSaveOption(), 2);
    EXPECT_EQ(reloaded.GetEntryAsRDN(), 0);
    EXPECT_EQ(Str(reloaded.GetFilename()), "/tmp/out.ldif");
}

TEST(SettingsDialog, UnknownStoredOptionsOkWithNoneSelectedAndCancelAfterChoosingAFile) {
    CTestServices services;
    services.m_profile.WriteProfileInt("SaveToLDIF", "SaveOptionNumber", 5);
    {
        CExportSettings settings;
        CSettingsDlg dlg(&settings);
        EXPECT_TRUE(dlg.SaveOptionRadio(0)->isChecked());
    }
    services.m_profile.WriteProfileInt("SaveToLDIF", "SaveOptionNumber", SAVE_WHOLE_SUBTREE);
    CExportSettings settings;
    CSettingsDlg dlg(&settings);
    EXPECT_TRUE(dlg.SaveOptionRadio(SAVE_WHOLE_SUBTREE)->isChecked());
    dlg.SaveOptionRadio(0)->click();
    dlg.OnOK();
    EXPECT_EQ(settings.GetSaveOption(), 0);
    EXPECT_EQ(services.m_profile.GetProfileInt("SaveToLDIF", "SaveOptionNumber", -1), 0);

    // Cancel after choosing a file changes nothing.
    services.m_profile.WriteProfileString("SaveToLDIF", "Filename", "/old.ldif");
    CExportSettings stored;
    CSettingsDlg cancelled(&stored);
    services.m_dialogs.SetNextPath("/new.ldif");
    DriveNextModal([](QWidget* pModal) {
        Button(pModal, "...")->click();
        Button(pModal, "&Cancel")->click();
    });
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(Str(stored.GetFilename()), "/old.ldif");
    EXPECT_EQ(Str(services.m_profile.GetProfileString("SaveToLDIF", "Filename", "")), "/old.ldif");
}

TEST(SettingsDialog, OpensWithDefaultsBrowseKeepsChangedRadiosAndOkStoresEverything) {
    CTestServices services;
    CExportSettings settings;
    CSettingsDlg dlg(&settings);
    EXPECT_EQ(dlg.SaveOptionRadio(0)->text(), "With entries whose attributes have been retrieved");
    EXPECT_EQ(dlg.SaveOptionRadio(1)->text(), "With all entries even if attributes have not been retrieved");
    EXPECT_EQ(dlg.SaveOptionRadio(2)->text(), "With all entries retrieving attributes as necessary");
    EXPECT_EQ(dlg.SaveOptionRadio(SAVE_WHOLE_SUBTREE)->text(), "The whole subtree, read from the server");
    EXPECT_EQ(dlg.TitleRadio(0)->text(), "Distinguished Name (DN)");
    EXPECT_EQ(dlg.TitleRadio(1)->text(), "Relative Distinguished Name (RDN)");
    EXPECT_EQ(dlg.EntriesPerPageSpin()->value(), 500);
    // No profile values: the whole subtree, empty name, RDN titles.
    EXPECT_TRUE(dlg.SaveOptionRadio(SAVE_WHOLE_SUBTREE)->isChecked());
    EXPECT_TRUE(dlg.FilenameEdit()->text().isEmpty());
    EXPECT_TRUE(dlg.TitleRadio(1)->isChecked());

    dlg.SaveOptionRadio(2)->click();
    dlg.TitleRadio(0)->click();
    dlg.EntriesPerPageSpin()->setValue(200);
    services.m_dialogs.SetNextPath("/data/export");
    Button(&dlg, "...")->click();
    EXPECT_EQ(Str(services.m_dialogs.LastTitle()), "Save As");
    EXPECT_FALSE(services.m_dialogs.LastWasOpen()) << "a save dialog: Save, and a question before replacing";
    EXPECT_EQ(Str(services.m_dialogs.LastInitialPath()), "export.ldif");
    EXPECT_EQ(Str(services.m_dialogs.LastFilter()), kLdifFileFilter);
    EXPECT_EQ(dlg.FilenameEdit()->text(), "/data/export.ldif") << "the default extension";
    EXPECT_TRUE(dlg.SaveOptionRadio(2)->isChecked());
    EXPECT_TRUE(dlg.TitleRadio(0)->isChecked());
    dlg.OnOK();
    EXPECT_EQ(settings.GetSaveOption(), 2);
    EXPECT_EQ(settings.GetEntryAsRDN(), 0);
    EXPECT_EQ(Str(services.m_profile.GetProfileString("SaveToLDIF", "Filename", "")), "/data/export.ldif");
    EXPECT_EQ(services.m_profile.GetProfileInt("UI", "EntryAsRDN", -1), 0);
    EXPECT_EQ(services.m_profile.GetProfileInt("UI", "EntriesPerPage", -1), 200);
}
