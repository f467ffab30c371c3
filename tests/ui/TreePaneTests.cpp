// The tree pane on real widgets with the real LDIF source, and its message
// handlers fed the way the sources feed them.

#include "UiTestSupport.h"

#include "ldif/LdifSource.h"
#include "model/EntryNode.h"
#include "source/ConnectionParams.h"
#include "source/Messages.h"
#include "source/Requests.h"
#include "ui/EntryDlg.h"
#include "ui/EntryTreeModel.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/TreeImages.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "ui/AttributeListEditor.h"

namespace {

const char* const kDirectory = "dn: o=Acme\n"
                               "objectclass: organization\n"
                               "o: Acme\n"
                               "\n"
                               "dn: ou=People,o=Acme\n"
                               "objectclass: organizationalUnit\n"
                               "ou: People\n"
                               "\n"
                               "dn: cn=Zed,ou=People,o=Acme\n"
                               "objectclass: person\n"
                               "cn: Zed\n"
                               "sn: Z\n"
                               "\n"
                               "dn: cn=Alice,ou=People,o=Acme\n"
                               "objectclass: person\n"
                               "cn: Alice\n"
                               "sn: A\n"
                               "mail: a1\n"
                               "mail: a2\n"
                               "\n"
                               "dn: cn=adam,ou=People,o=Acme\n"
                               "objectclass: person\n"
                               "cn: adam\n"
                               "sn: Adams\n"
                               "\n"
                               "dn: ou=Empty,o=Acme\n"
                               "objectclass: organizationalUnit\n"
                               "ou: Empty\n"
                               "\n";

class TreePane : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = m_dir.File("directory.ldif");
        WriteWholeFile(m_path, kDirectory);
        auto* pSource = new CLdifSource;
        CConnectionParams params;
        params.m_strLdifFile = m_path;
        params.m_strSearchBase = "o=Acme";
        ASSERT_TRUE(pSource->Open(params));
        m_panes.Open(pSource, params.m_pRoot);
    }

    HTREEITEM ExpandPeople() {
        HTREEITEM hRoot = m_panes.Root();
        m_panes.m_pTree->ExpandItem(hRoot);
        HTREEITEM hPeople = m_panes.Child(hRoot, "ou=People");
        m_panes.m_pTree->ExpandItem(hPeople);
        return hPeople;
    }

    void TypeIntoEntryDialog(const QString& rdn, const QString& name, const QString& value) {
        DriveNextModal([rdn, name, value](QWidget* pModal) {
            auto* pDlg = qobject_cast<CEntryDlg*>(pModal);
            ASSERT_NE(pDlg, nullptr);
            pDlg->RelativeNameEdit()->setText(rdn);
            pDlg->Editor()->NameEdit()->setText(name);
            pDlg->Editor()->ValueEdit()->setText(value);
            pDlg->Editor()->AddButton()->click();
            pDlg->OnOK();
        });
    }

    void TypeIntoModifyDialog(const QString& text) {
        DriveNextModal([text](QWidget* pModal) {
            auto* pDlg = qobject_cast<CModifyAttributeDlg*>(pModal);
            ASSERT_NE(pDlg, nullptr);
            pDlg->EditableEdit()->setText(text);
            pDlg->OnOK();
        });
    }

    CTempDir m_dir;
    std::string m_path;
    CPanes m_panes;
};

} // namespace

TEST_F(TreePane, RootExpandsIntoSortedChildrenAndAnEmptyEntryBecomesALeaf) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hRoot = m_panes.Root();
    ASSERT_TRUE(hRoot);
    EXPECT_EQ(Str(pTree->GetItemText(hRoot)), "o=Acme");
    int nImage = -1, nSelected = -1;
    pTree->GetItemImage(hRoot, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_CLOSED_FOLDER);
    EXPECT_EQ(nSelected, TREE_IMAGE_OPEN_FOLDER);
    // The placeholder child: no entry, no text.
    ASSERT_EQ(pTree->GetChildItems(hRoot).size(), 1u);
    EXPECT_EQ(pTree->GetItemEntry(pTree->GetChildItem(hRoot)), nullptr);
    EXPECT_TRUE(pTree->GetItemEntry(hRoot)->IsUnexpanded());

    HTREEITEM hPeople = ExpandPeople();
    auto history = m_panes.m_services.m_status.History(1);
    EXPECT_NE(std::find(history.begin(), history.end(), CString("Searching  o=Acme")), history.end());
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  3 entries found");
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"}));
    // Case-insensitive order among siblings.
    EXPECT_EQ(m_panes.ChildTexts(hPeople), (std::vector<std::string>{"cn=adam", "cn=Alice", "cn=Zed"}));

    HTREEITEM hEmpty = m_panes.Child(hRoot, "ou=Empty");
    CEntryNode* pEmpty = pTree->GetItemEntry(hEmpty);
    pTree->ExpandItem(hEmpty);
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  0 entries found");
    HTREEITEM hLeaf = pTree->FindEntryItem(pEmpty);
    ASSERT_TRUE(hLeaf);
    EXPECT_FALSE(hLeaf == hEmpty) << "the item is replaced";
    EXPECT_EQ(pTree->GetItemEntry(hEmpty), nullptr) << "the old handle finds nothing";
    pTree->GetItemImage(hLeaf, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_LEAF);
    EXPECT_EQ(nSelected, TREE_IMAGE_LEAF);
    EXPECT_FALSE(pTree->ItemHasButton(hLeaf));
    EXPECT_TRUE(pTree->ItemHasFixedText(hLeaf));
    EXPECT_TRUE(pEmpty->IsLeaf());
    EXPECT_TRUE(pTree->GetSelectedItem() == hLeaf);
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"})) << "same place";
}

TEST_F(TreePane, TitleSettingShowsOnCallbackItemsOnly) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hRoot = m_panes.Root();
    pTree->ExpandItem(m_panes.Child(hRoot, "ou=Empty")); // a fixed-text leaf now
    m_panes.m_doc.GetExportSettings().SetEntryAsRDN(0);
    EXPECT_EQ(Str(pTree->GetItemText(hPeople)), "ou=People,o=Acme");
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People,o=Acme"}));
    // The control asks again on repaint and gets the new text.
    QModelIndex index = pTree->GetModel()->IndexOf(pTree->GetModel()->Find(hPeople));
    EXPECT_EQ(index.data().toString(), "ou=People,o=Acme");
    m_panes.m_doc.GetExportSettings().SetEntryAsRDN(1);
    EXPECT_EQ(index.data().toString(), "ou=People");
}

TEST_F(TreePane, SelectionReadsAttributesAndRightClickDoesNot) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    ASSERT_TRUE(pTree->ClickItem(hAlice));
    // One array, shown from the cache: attributes in reverse order, values in order.
    EXPECT_EQ(m_panes.Rows(),
              (std::vector<std::string>{"mail=a1", "mail=a2", "sn=A", "cn=Alice", "objectclass=person"}));
    EXPECT_EQ(Str(m_panes.Status(2)), "5 Attributes Found.");
    auto history = m_panes.m_services.m_status.History(2);
    EXPECT_NE(std::find(history.begin(), history.end(),
                        CString("Finding Attributes for - cn=Alice,ou=People,o=Acme")),
              history.end());
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), pTree->GetItemEntry(hAlice));

    // A right click selects without reading and offers the menu by the flags.
    HTREEITEM hZed = m_panes.Child(hPeople, "cn=Zed");
    pTree->RightClickItem(hZed);
    EXPECT_TRUE(pTree->GetSelectedItem() == hZed);
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), pTree->GetItemEntry(hAlice));
    EXPECT_EQ(m_panes.Rows().size(), 5u);
    QMenu* pMenu = pTree->GetContextMenu();
    EXPECT_TRUE(pMenu->isVisible());
    QStringList texts;
    for (QAction* pAction : pMenu->actions())
        if (!pAction->isSeparator())
            texts << pAction->text();
    EXPECT_EQ(texts, (QStringList{"&Add", "&Delete", "&Modify", "Re&fresh", "&Save to LDIF"}));
    for (int nCommand : {ID_ENTRY_ADD, ID_ENTRY_DELETE, ID_ENTRY_MODIFY, ID_REFRESH, ID_SAVE_TO_LDIF})
        EXPECT_TRUE(pTree->GetMenuAction(nCommand)->isEnabled()) << nCommand;
    pMenu->close();

    // A running operation on the entry switches its commands off.
    CEntryNode* pZed = pTree->GetItemEntry(hZed);
    pZed->BeginOperation(OP_DELETE_ENTRY);
    pTree->RightClickItem(hZed);
    EXPECT_FALSE(pTree->GetMenuAction(ID_ENTRY_ADD)->isEnabled());
    EXPECT_TRUE(pTree->GetMenuAction(ID_ENTRY_DELETE)->isEnabled());
    EXPECT_FALSE(pTree->GetMenuAction(ID_REFRESH)->isEnabled());
    pMenu->close();
    // And the parent's structural commands.
    pTree->RightClickItem(hPeople);
    EXPECT_FALSE(pTree->GetMenuAction(ID_REFRESH)->isEnabled());
    EXPECT_TRUE(pTree->GetMenuAction(ID_ENTRY_ADD)->isEnabled());
    pMenu->close();
    pZed->EndOperation(OP_DELETE_ENTRY);
}

TEST_F(TreePane, ItemsWithoutAnEntryAreNeverSelected) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    ASSERT_TRUE(pTree->ClickItem(hAlice));
    // A loading row as a running LDAP browse shows it.
    SendMessage(pTree->GetSafeHwnd(), WM_LOADING_ENTRIES, PtrToWParam(&hPeople), 0);
    std::vector<HTREEITEM> children = pTree->GetChildItems(hPeople);
    HTREEITEM hLoading = children.back();
    EXPECT_EQ(Str(pTree->GetItemText(hLoading)), "loading entries.........");
    EXPECT_FALSE(pTree->ClickItem(hLoading));
    EXPECT_TRUE(pTree->GetSelectedItem() == hAlice);
    EXPECT_FALSE(pTree->SelectItem(hLoading));
    // Keyboard: moving down onto it leaves the selection alone.
    pTree->GetTreeControl()->setFocus();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(pTree->GetTreeControl(), Qt::Key_Down);
    EXPECT_TRUE(pTree->GetItemEntry(pTree->GetSelectedItem()) != nullptr);
    // The placeholder of an unexpanded entry cannot be selected either.
    HTREEITEM hPlaceholder = pTree->GetChildItem(hAlice);
    EXPECT_EQ(pTree->GetItemEntry(hPlaceholder), nullptr);
    EXPECT_FALSE(pTree->SelectItem(hPlaceholder));
}

TEST_F(TreePane, AddEntryAppearsOnlyUnderAnExpandedParent) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    pTree->SelectItem(hPeople);
    TypeIntoEntryDialog("cn=Bea", "cn", "Bea");
    pTree->OnAddEntry();
    EXPECT_EQ(m_panes.ChildTexts(hPeople),
              (std::vector<std::string>{"cn=adam", "cn=Alice", "cn=Bea", "cn=Zed"}));
    EXPECT_EQ(Str(m_panes.Status(1)), "cn=Bea,ou=People,o=AcmeNode successfully added");
    CEntryNode* pBea = pTree->GetItemEntry(m_panes.Child(hPeople, "cn=Bea"));
    ASSERT_NE(pBea, nullptr);
    EXPECT_EQ(Str(pBea->GetDN()), "cn=Bea,ou=People,o=Acme");
    EXPECT_TRUE(pTree->GetItemEntry(hPeople)->CanAddEntry());

    // Below an entry whose children were never fetched nothing shows yet.
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    pTree->SelectItem(hAlice);
    TypeIntoEntryDialog("cn=kid", "cn", "kid");
    pTree->OnAddEntry();
    EXPECT_EQ(m_panes.ChildTexts(hAlice), (std::vector<std::string>{""})) << "only the placeholder";
    pTree->ExpandItem(hAlice);
    EXPECT_EQ(m_panes.ChildTexts(hAlice), (std::vector<std::string>{"cn=kid"}));

    // A leaf becomes a parent again, also when the dialog is cancelled.
    HTREEITEM hRoot = m_panes.Root();
    pTree->ExpandItem(m_panes.Child(hRoot, "ou=Empty"));
    HTREEITEM hEmpty = m_panes.Child(hRoot, "ou=Empty");
    CEntryNode* pEmpty = pTree->GetItemEntry(hEmpty);
    pTree->SelectItem(hEmpty);
    DriveNextModal([](QWidget* pModal) { qobject_cast<QDialog*>(pModal)->reject(); });
    pTree->OnAddEntry();
    EXPECT_FALSE(pEmpty->IsLeaf());
    EXPECT_TRUE(pTree->ItemHasButton(hEmpty));
    EXPECT_TRUE(pEmpty->CanAddEntry()) << "the operation ended with the cancel";
    TypeIntoEntryDialog("ou=Sub", "ou", "Sub");
    pTree->OnAddEntry();
    EXPECT_EQ(m_panes.ChildTexts(hEmpty), (std::vector<std::string>{"ou=Sub"}));
}

TEST_F(TreePane, RenameShowsTheNewNameInBothTitleModes) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    CEntryNode* pAlice = pTree->GetItemEntry(hAlice);
    pTree->SelectItem(hAlice);
    TypeIntoModifyDialog("cn=Alicia");
    pTree->OnModifyEntry();
    EXPECT_EQ(Str(pAlice->GetDN()), "cn=Alicia,ou=People,o=Acme");
    EXPECT_EQ(Str(pTree->GetItemText(hAlice)), "cn=Alicia");
    EXPECT_TRUE(pTree->ItemHasFixedText(hAlice));

    m_panes.m_doc.GetExportSettings().SetEntryAsRDN(0);
    HTREEITEM hZed = m_panes.Child(hPeople, "cn=Zed,ou=People,o=Acme");
    pTree->SelectItem(hZed);
    TypeIntoModifyDialog("cn=Zoe");
    pTree->OnModifyEntry();
    EXPECT_EQ(Str(pTree->GetItemText(hZed)), "cn=Zoe,ou=People,o=Acme");

    // An emptied field is a cancel: nothing is sent.
    pTree->SelectItem(hZed);
    TypeIntoModifyDialog("");
    pTree->OnModifyEntry();
    EXPECT_EQ(Str(pTree->GetItemEntry(hZed)->GetDN()), "cn=Zoe,ou=People,o=Acme");
}

TEST_F(TreePane, DeleteAsksFirstAndAParentIsRefused) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hZed = m_panes.Child(hPeople, "cn=Zed");
    ASSERT_TRUE(pTree->ClickItem(hZed));
    ASSERT_FALSE(m_panes.Rows().empty());

    m_panes.m_services.m_boxes.SetNextAnswer(IDNO);
    pTree->OnDeleteEntry();
    EXPECT_EQ(m_panes.m_services.m_boxes.Count(), 1);
    EXPECT_EQ(m_panes.m_services.m_boxes.Boxes()[0].nType & MB_TYPEMASK, MB_YESNO);
    EXPECT_TRUE(m_panes.Child(hPeople, "cn=Zed"));

    m_panes.m_services.m_boxes.SetNextAnswer(IDYES);
    pTree->OnDeleteEntry();
    EXPECT_FALSE(m_panes.Child(hPeople, "cn=Zed"));
    EXPECT_EQ(pTree->GetItemEntry(hZed), nullptr);
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), nullptr);
    EXPECT_TRUE(m_panes.Rows().empty());

    pTree->SelectItem(hPeople);
    m_panes.m_services.m_boxes.Clear();
    m_panes.m_services.m_boxes.SetNextAnswer(IDYES);
    pTree->OnDeleteEntry();
    EXPECT_EQ(Str(m_panes.m_services.m_boxes.LastText()),
              "Error - This entry is a parent entry and can't be deleted.");
    EXPECT_TRUE(m_panes.Child(m_panes.Root(), "ou=People"));
    EXPECT_TRUE(pTree->GetItemEntry(hPeople)->CanDeleteEntry());
}

TEST_F(TreePane, RefreshRebuildsTheChildrenAndShowsTheEntry) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    HTREEITEM hPeople = ExpandPeople();
    pTree->ExpandItem(m_panes.Child(hPeople, "cn=Alice"));
    pTree->SelectItem(hPeople);
    pTree->OnRefresh();
    EXPECT_EQ(m_panes.ChildTexts(hPeople), (std::vector<std::string>{"cn=adam", "cn=Alice", "cn=Zed"}));
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), pTree->GetItemEntry(hPeople));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  3 entries found");
    // A refreshed child starts unexpanded again, with its placeholder.
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    EXPECT_TRUE(pTree->GetItemEntry(hAlice)->IsUnexpanded());
    EXPECT_TRUE(pTree->GetItemEntry(hPeople)->CanRefresh());
}

TEST_F(TreePane, ActivationAndTabSetTheCommandFlags) {
    m_panes.m_doc.m_bRefreshEnabled = true;
    m_panes.m_pTree->OnActivateView();
    EXPECT_TRUE(m_panes.m_doc.m_bEntryCommandsEnabled);
    EXPECT_FALSE(m_panes.m_doc.m_bAttributeCommandsEnabled);
    m_panes.m_pList->OnActivateView();
    EXPECT_FALSE(m_panes.m_doc.m_bEntryCommandsEnabled);
    EXPECT_TRUE(m_panes.m_doc.m_bAttributeCommandsEnabled);
    m_panes.m_doc.m_bRefreshEnabled = false;
    m_panes.m_pTree->OnActivateView();
    EXPECT_FALSE(m_panes.m_doc.m_bEntryCommandsEnabled);
    // Tab is the pane's, not the control's focus chain.
    QTest::keyClick(m_panes.m_pTree->GetTreeControl(), Qt::Key_Tab);
    EXPECT_TRUE(m_panes.m_pTree->GetTreeControl()->isVisible());
}

// Handlers fed directly, as a streaming LDAP browse feeds them.
class TreeMessages : public ::testing::Test {
protected:
    void SetUp() override {
        m_root.SetDN("o=Acme");
        m_hRoot = m_panes.m_pTree->InsertEntryItem(&m_root, HTREEITEM());
        m_hWnd = m_panes.m_pTree->GetSafeHwnd();
    }
    void TearDown() override {
        m_panes.m_pTree->DeleteAllItems();
        for (CEntryNode* p : m_nodes)
            delete p;
    }
    CEntryNode* Node(const char* dn) {
        auto* p = new CEntryNode;
        p->SetDN(dn);
        p->SetParent(&m_root);
        m_nodes.push_back(p);
        return p;
    }

    CPanes m_panes;
    CEntryNode m_root;
    std::vector<CEntryNode*> m_nodes;
    HTREEITEM m_hRoot;
    HWND m_hWnd;
};

TEST_F(TreeMessages, StreamedListsLandSortedAndProgressTextsAreExact) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    pTree->ExpandItem(m_hRoot); // no source: the placeholder goes, nothing is asked
    SendMessage(m_hWnd, WM_LOADING_ENTRIES, PtrToWParam(&m_hRoot), 0);
    EXPECT_EQ(m_panes.ChildTexts(m_hRoot), (std::vector<std::string>{"loading entries........."}));
    SendMessage(m_hWnd, WM_REMOVE_PLACEHOLDER, m_hRoot.ToWParam(), 0);
    EXPECT_TRUE(m_panes.ChildTexts(m_hRoot).empty());
    CPtrList list;
    for (const char* dn : {"cn=d,o=Acme", "cn=B,o=Acme", "cn=a,o=Acme"})
        list.AddTail(Node(dn));
    SendMessage(m_hWnd, WM_ENTRIES_FOUND, PtrToWParam(&list), m_hRoot.ToLParam());
    EXPECT_EQ(Str(m_panes.Status(1)), "cn=a,o=Acme");
    CPtrList one;
    one.AddTail(Node("cn=C,o=Acme"));
    SendMessage(m_hWnd, WM_ENTRIES_FOUND, PtrToWParam(&one), m_hRoot.ToLParam());
    // Batched items are linked before the next handler looks at the tree.
    SendMessage(m_hWnd, WM_SEARCH_DONE, 4, m_hRoot.ToLParam());
    EXPECT_EQ(m_panes.ChildTexts(m_hRoot), (std::vector<std::string>{"cn=a", "cn=B", "cn=C", "cn=d"}));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  4 entries found");
    for (HTREEITEM hChild : pTree->GetChildItems(m_hRoot)) {
        EXPECT_TRUE(pTree->GetItemEntry(hChild)->IsUnexpanded());
        EXPECT_TRUE(pTree->GetItemEntry(hChild)->GetTreeItem() == hChild);
    }
    SendMessage(m_hWnd, WM_SEARCH_DONE, static_cast<WPARAM>(-1), m_hRoot.ToLParam());
    EXPECT_EQ(Str(m_panes.Status(1)), "Error in search operation");
    SendMessage(m_hWnd, WM_SEARCH_DONE, static_cast<WPARAM>(-100), m_hRoot.ToLParam());
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Abandoned");
}

TEST_F(TreeMessages, QueuedItemsAppearWithoutAnotherMessage) {
    CPtrList list;
    list.AddTail(Node("cn=x,o=Acme"));
    SendMessage(m_hWnd, WM_ENTRIES_FOUND, PtrToWParam(&list), m_hRoot.ToLParam());
    // The event loop links them on its own, shortly.
    CEntryTreeModel* pModel = m_panes.m_pTree->GetModel();
    ASSERT_TRUE(WaitUntil([&]() { return !pModel->HasQueued(); }, 5000));
    EXPECT_EQ(pModel->rowCount(pModel->IndexOf(pModel->Find(m_hRoot))), 2); // placeholder + x
}

TEST_F(TreeMessages, StaleHandlesAreIgnored) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    CEntryNode* pChild = Node("cn=gone,o=Acme");
    HTREEITEM hChild = pTree->InsertEntryItem(pChild, m_hRoot);
    HTREEITEM hStale = hChild;
    pTree->DeleteAllItems();
    m_hRoot = pTree->InsertEntryItem(&m_root, HTREEITEM());
    CPtrList list;
    list.AddTail(Node("cn=late,o=Acme"));
    SendMessage(m_hWnd, WM_ENTRIES_FOUND, PtrToWParam(&list), hStale.ToLParam());
    SendMessage(m_hWnd, WM_LOADING_ENTRIES, PtrToWParam(&hStale), 0);
    SendMessage(m_hWnd, WM_REMOVE_PLACEHOLDER, hStale.ToWParam(), 0);
    SendMessage(m_hWnd, WM_SEARCH_DONE, 0, hStale.ToLParam());
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  0 entries found");
    EXPECT_FALSE(pChild->IsLeaf()) << "a stale item's entry is not touched";
    HTREEITEM hParent = hStale;
    SendMessage(m_hWnd, WM_ENTRY_ADDED, PtrToWParam(Node("cn=new,o=Acme")), PtrToLParam(&hParent));
    pTree->FlushPendingItems();
    EXPECT_EQ(pTree->GetModel()->ItemCount(), 2) << "root and its placeholder only";
}

TEST_F(TreeMessages, DeletedEntryGoesBackToTheSourceOnceItsItemIsGone) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    pTree->ExpandItem(m_hRoot);
    auto* pChild = new CEntryNode; // freed by the pane (no source: deleted)
    pChild->SetDN("cn=c,o=Acme");
    pChild->SetParent(&m_root);
    HTREEITEM hChild = pTree->InsertEntryItem(pChild, m_hRoot);
    pChild->BeginOperation(OP_DELETE_ENTRY);
    CDeleteEntryRequest request;
    request.pEntry = pChild;
    request.bSucceeded = TRUE;
    SendMessage(m_hWnd, WM_ENTRY_DELETED, PtrToWParam(&request), 0);
    EXPECT_EQ(request.pEntry, nullptr);
    EXPECT_EQ(pTree->GetItemEntry(hChild), nullptr);
    EXPECT_TRUE(m_root.CanRefresh()) << "the delete's operation was ended";

    // A notice for an entry whose item a refresh already took: the server
    // deleted it, so no failure is shown, and the node stays the source's.
    CEntryNode orphan;
    orphan.SetDN("cn=o,o=Acme");
    CDeleteEntryRequest again;
    again.pEntry = &orphan;
    again.bSucceeded = TRUE;
    int nBoxes = m_panes.m_services.m_boxes.Count();
    SendMessage(m_hWnd, WM_ENTRY_DELETED, PtrToWParam(&again), 0);
    EXPECT_EQ(m_panes.m_services.m_boxes.Count(), nBoxes);
    EXPECT_EQ(again.pEntry, &orphan);
}

TEST_F(TreeMessages, EmptySearchBaseShowsRoot) {
    CEntryNode top;
    HTREEITEM hTop = m_panes.m_pTree->InsertEntryItem(&top, HTREEITEM());
    EXPECT_EQ(Str(m_panes.m_pTree->GetItemText(hTop)), "Root");
    m_panes.m_pTree->DeleteAllItems();
}

TEST_F(TreeMessages, RenameReportedForAnEntryWhoseItemIsGone) {
    CLdapTreeView* pTree = m_panes.m_pTree;
    CEntryNode* pChild = Node("cn=a,o=Acme");
    HTREEITEM hChild = pTree->InsertEntryItem(pChild, m_hRoot);
    pTree->DeleteAllItems();
    m_hRoot = pTree->InsertEntryItem(&m_root, HTREEITEM());
    CModifyEntryRequest request;
    request.pEntry = pChild;
    request.bSucceeded = TRUE;
    request.strNewDN = "cn=b,o=Acme";
    SendMessage(m_hWnd, WM_ENTRY_MODIFIED, PtrToWParam(&request), 0);
    EXPECT_EQ(Str(pChild->GetDN()), "cn=b,o=Acme");
    EXPECT_EQ(pTree->GetItemEntry(hChild), nullptr);
    EXPECT_EQ(pTree->GetModel()->ItemCount(), 2);

    // A failed rename changes nothing.
    HTREEITEM hLive = pTree->InsertEntryItem(pChild, m_hRoot);
    request.bSucceeded = FALSE;
    request.strNewDN = "cn=c,o=Acme";
    SendMessage(m_hWnd, WM_ENTRY_MODIFIED, PtrToWParam(&request), 0);
    EXPECT_EQ(Str(pTree->GetItemText(hLive)), "cn=b");
    EXPECT_FALSE(pTree->ItemHasFixedText(hLive));
}
