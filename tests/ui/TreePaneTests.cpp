// The tree pane on real widgets with the real LDIF source, and its message
// handlers fed the way the sources feed them.

#include "UiTestSupport.h"

#include "model/EntryNode.h"
#include "source/Requests.h"
#include "ui/EntryTreeModel.h"
#include "ui/TreeImages.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QTest>
#include <QTreeView>

namespace {

const char* const kDirectory = // one entry a line
    "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
    "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
    "dn: cn=Zed,ou=People,o=Acme\nobjectclass: person\ncn: Zed\nsn: Z\n\n"
    "dn: cn=Alice,ou=People,o=Acme\nobjectclass: person\ncn: Alice\nsn: A\nmail: a1\nmail: a2\n\n"
    "dn: cn=adam,ou=People,o=Acme\nobjectclass: person\ncn: adam\nsn: Adams\n\n"
    "dn: ou=Empty,o=Acme\nobjectclass: organizationalUnit\nou: Empty\n\n";

class TreePane : public ::testing::Test {
protected:
    void SetUp() override {
        m_panes.CheckModels();
        ASSERT_TRUE(m_panes.OpenLdif(m_dir.File("directory.ldif"), kDirectory, "o=Acme"));
    }

    HTREEITEM ExpandPeople() {
        m_pTree->ExpandItem(m_panes.Root());
        HTREEITEM hPeople = m_panes.Child(m_panes.Root(), "ou=People");
        m_pTree->ExpandItem(hPeople);
        return hPeople;
    }

    CTempDir m_dir;
    CPanes m_panes;
    CLdapTreeView* const m_pTree = m_panes.m_pTree;
};

} // namespace

TEST_F(TreePane, RootExpandsIntoSortedChildrenAndAnEmptyEntryBecomesALeaf) {
    HTREEITEM hRoot = m_panes.Root();
    ASSERT_TRUE(hRoot);
    EXPECT_EQ(Str(m_pTree->GetItemText(hRoot)), "o=Acme");
    int nImage = -1, nSelected = -1;
    m_pTree->GetItemImage(hRoot, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_CLOSED_FOLDER);
    EXPECT_EQ(nSelected, TREE_IMAGE_OPEN_FOLDER);
    // The placeholder child: no entry, no text.
    ASSERT_EQ(m_pTree->GetChildItems(hRoot).size(), 1u);
    EXPECT_EQ(m_pTree->GetItemEntry(m_pTree->GetChildItem(hRoot)), nullptr);
    EXPECT_TRUE(m_pTree->GetItemEntry(hRoot)->IsUnexpanded());

    HTREEITEM hPeople = ExpandPeople();
    EXPECT_TRUE(m_panes.StatusShown(1, "Searching  o=Acme"));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  3 entries found");
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"}));
    // Case-insensitive order among siblings.
    EXPECT_EQ(m_panes.ChildTexts(hPeople), (std::vector<std::string>{"cn=adam", "cn=Alice", "cn=Zed"}));

    HTREEITEM hEmpty = m_panes.Child(hRoot, "ou=Empty");
    CEntryNode* pEmpty = m_pTree->GetItemEntry(hEmpty);
    m_pTree->ExpandItem(hEmpty);
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  0 entries found");
    HTREEITEM hLeaf = m_pTree->FindEntryItem(pEmpty);
    ASSERT_TRUE(hLeaf);
    EXPECT_FALSE(hLeaf == hEmpty) << "the item is replaced";
    EXPECT_EQ(m_pTree->GetItemEntry(hEmpty), nullptr) << "the old handle finds nothing";
    m_pTree->GetItemImage(hLeaf, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_LEAF);
    EXPECT_EQ(nSelected, TREE_IMAGE_LEAF);
    EXPECT_FALSE(m_pTree->ItemHasButton(hLeaf));
    EXPECT_TRUE(m_pTree->ItemHasFixedText(hLeaf));
    EXPECT_TRUE(pEmpty->IsLeaf());
    EXPECT_TRUE(m_pTree->GetSelectedItem() == hLeaf);
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"})) << "same place";
}

TEST_F(TreePane, SelectionReadsAttributesRightClickDoesNotAndItemsWithoutAnEntryAreNeverSelected) {
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    // One array, shown from the cache: attributes in reverse order, values in order.
    EXPECT_EQ(m_panes.Rows(),
              (std::vector<std::string>{"mail=a1", "mail=a2", "sn=A", "cn=Alice", "objectclass=person"}));
    EXPECT_EQ(Str(m_panes.Status(2)), "5 Attributes Found.");
    EXPECT_TRUE(m_panes.StatusShown(2, "Finding Attributes for - cn=Alice,ou=People,o=Acme"));
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), m_pTree->GetItemEntry(hAlice));

    // A right click selects without reading and offers the menu by the flags.
    HTREEITEM hZed = m_panes.Child(hPeople, "cn=Zed");
    m_pTree->RightClickItem(hZed);
    EXPECT_TRUE(m_pTree->GetSelectedItem() == hZed);
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), m_pTree->GetItemEntry(hAlice));
    EXPECT_EQ(m_panes.Rows().size(), 5u);
    QMenu* pMenu = m_pTree->GetContextMenu();
    EXPECT_TRUE(pMenu->isVisible());
    QStringList texts;
    for (QAction* pAction : pMenu->actions())
        if (!pAction->isSeparator())
            texts << pAction->text();
    EXPECT_EQ(texts,
              (QStringList{"&Add", "&Delete", "&Modify", "Re&fresh", "&Save to LDIF", "E&xport Subtree...",
                           "Cu&t", "Copy &Entry", "Copy S&ubtree", "&Paste", "Set &Password..."}));
    for (int nCommand : {ID_ENTRY_ADD, ID_ENTRY_DELETE, ID_ENTRY_MODIFY, ID_REFRESH, ID_SAVE_TO_LDIF, ID_CUT})
        EXPECT_TRUE(m_pTree->GetMenuAction(nCommand)->isEnabled()) << nCommand;
    pMenu->close();

    // A running operation on the entry switches its commands off.
    CEntryNode* pZed = m_pTree->GetItemEntry(hZed);
    pZed->BeginOperation(OP_DELETE_ENTRY);
    m_pTree->RightClickItem(hZed);
    EXPECT_FALSE(m_pTree->GetMenuAction(ID_ENTRY_ADD)->isEnabled());
    EXPECT_TRUE(m_pTree->GetMenuAction(ID_ENTRY_DELETE)->isEnabled());
    EXPECT_FALSE(m_pTree->GetMenuAction(ID_REFRESH)->isEnabled());
    pMenu->close();
    // And the parent's structural commands.
    m_pTree->RightClickItem(hPeople);
    EXPECT_FALSE(m_pTree->GetMenuAction(ID_REFRESH)->isEnabled());
    EXPECT_TRUE(m_pTree->GetMenuAction(ID_ENTRY_ADD)->isEnabled());
    pMenu->close();
    pZed->EndOperation(OP_DELETE_ENTRY);

    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    // Items without an entry are never selected: a loading row, as a
    // running LDAP browse shows it, ...
    Notify(m_pTree->GetSafeHwnd(), &ISourceEvents::LoadingEntries, hPeople);
    std::vector<HTREEITEM> children = m_pTree->GetChildItems(hPeople);
    HTREEITEM hLoading = children.back();
    EXPECT_EQ(Str(m_pTree->GetItemText(hLoading)), "loading entries.........");
    EXPECT_FALSE(m_pTree->ClickItem(hLoading));
    EXPECT_TRUE(m_pTree->GetSelectedItem() == hAlice);
    EXPECT_FALSE(m_pTree->SelectItem(hLoading));
    // Keyboard: moving down onto it leaves the selection alone.
    m_pTree->GetTreeControl()->setFocus();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(m_pTree->GetTreeControl(), Qt::Key_Down);
    EXPECT_TRUE(m_pTree->GetItemEntry(m_pTree->GetSelectedItem()) != nullptr);
    // ... nor the placeholder of an unexpanded entry.
    HTREEITEM hPlaceholder = m_pTree->GetChildItem(hAlice);
    EXPECT_EQ(m_pTree->GetItemEntry(hPlaceholder), nullptr);
    EXPECT_FALSE(m_pTree->SelectItem(hPlaceholder));
}

TEST_F(TreePane, AddEntryAppearsOnlyUnderAnExpandedParent) {
    HTREEITEM hPeople = ExpandPeople();
    m_panes.AddEntry(hPeople, "cn=Bea", {{"cn", "Bea"}});
    EXPECT_EQ(m_panes.ChildTexts(hPeople),
              (std::vector<std::string>{"cn=adam", "cn=Alice", "cn=Bea", "cn=Zed"}));
    EXPECT_EQ(Str(m_panes.Status(1)), "Node successfully added: cn=Bea,ou=People,o=Acme");
    CEntryNode* pBea = m_pTree->GetItemEntry(m_panes.Child(hPeople, "cn=Bea"));
    ASSERT_NE(pBea, nullptr);
    EXPECT_EQ(Str(pBea->GetDN()), "cn=Bea,ou=People,o=Acme");
    EXPECT_TRUE(m_pTree->GetItemEntry(hPeople)->CanAddEntry());

    // Below an entry whose children were never fetched nothing shows yet.
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    m_panes.AddEntry(hAlice, "cn=kid", {{"cn", "kid"}});
    EXPECT_EQ(m_panes.ChildTexts(hAlice), (std::vector<std::string>{""})) << "only the placeholder";
    m_pTree->ExpandItem(hAlice);
    EXPECT_EQ(m_panes.ChildTexts(hAlice), (std::vector<std::string>{"cn=kid"}));

    // A leaf becomes a parent again, also when the dialog is cancelled.
    HTREEITEM hRoot = m_panes.Root();
    m_pTree->ExpandItem(m_panes.Child(hRoot, "ou=Empty"));
    HTREEITEM hEmpty = m_panes.Child(hRoot, "ou=Empty");
    CEntryNode* pEmpty = m_pTree->GetItemEntry(hEmpty);
    m_pTree->SelectItem(hEmpty);
    DriveNextModal([](QWidget* pModal) { qobject_cast<QDialog*>(pModal)->reject(); });
    m_pTree->OnAddEntry();
    EXPECT_FALSE(pEmpty->IsLeaf());
    EXPECT_TRUE(m_pTree->ItemHasButton(hEmpty));
    EXPECT_TRUE(pEmpty->CanAddEntry()) << "the operation ended with the cancel";
    m_panes.AddEntry(hEmpty, "ou=Sub", {{"ou", "Sub"}});
    EXPECT_EQ(m_panes.ChildTexts(hEmpty), (std::vector<std::string>{"ou=Sub"}));
}

TEST_F(TreePane, TitlesFollowTheSettingOnCallbackItemsAndRenamesInBothModes) {
    HTREEITEM hPeople = ExpandPeople();
    HTREEITEM hRoot = m_panes.Root();
    m_pTree->ExpandItem(m_panes.Child(hRoot, "ou=Empty")); // a fixed-text leaf now
    m_panes.m_doc.GetExportSettings().SetEntryAsRDN(0);
    EXPECT_EQ(Str(m_pTree->GetItemText(hPeople)), "ou=People,o=Acme");
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People,o=Acme"}));
    // The control asks again on repaint and gets the new text.
    QModelIndex index = m_pTree->GetModel()->IndexOf(m_pTree->GetModel()->Find(hPeople));
    EXPECT_EQ(index.data().toString(), "ou=People,o=Acme");
    m_panes.m_doc.GetExportSettings().SetEntryAsRDN(1);
    EXPECT_EQ(index.data().toString(), "ou=People");

    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    CEntryNode* pAlice = m_pTree->GetItemEntry(hAlice);
    m_panes.RenameEntry(hAlice, "cn=Alicia");
    EXPECT_EQ(Str(pAlice->GetDN()), "cn=Alicia,ou=People,o=Acme");
    EXPECT_EQ(Str(m_pTree->GetItemText(hAlice)), "cn=Alicia");
    EXPECT_TRUE(m_pTree->ItemHasFixedText(hAlice));

    m_panes.m_doc.GetExportSettings().SetEntryAsRDN(0);
    HTREEITEM hZed = m_panes.Child(hPeople, "cn=Zed,ou=People,o=Acme");
    m_panes.RenameEntry(hZed, "cn=Zoe");
    EXPECT_EQ(Str(m_pTree->GetItemText(hZed)), "cn=Zoe,ou=People,o=Acme");

    // An emptied field is a cancel: nothing is sent.
    m_panes.RenameEntry(hZed, "");
    EXPECT_EQ(Str(m_pTree->GetItemEntry(hZed)->GetDN()), "cn=Zoe,ou=People,o=Acme");
}

TEST_F(TreePane, RefreshRebuildsTheChildrenDeleteAsksFirstAndAParentIsRefused) {
    HTREEITEM hPeople = ExpandPeople();
    m_pTree->ExpandItem(m_panes.Child(hPeople, "cn=Alice"));
    m_pTree->SelectItem(hPeople);
    m_pTree->OnRefresh();
    EXPECT_EQ(m_panes.ChildTexts(hPeople), (std::vector<std::string>{"cn=adam", "cn=Alice", "cn=Zed"}));
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), m_pTree->GetItemEntry(hPeople));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  3 entries found");
    // A refreshed child starts unexpanded again, with its placeholder.
    HTREEITEM hAlice = m_panes.Child(hPeople, "cn=Alice");
    EXPECT_TRUE(m_pTree->GetItemEntry(hAlice)->IsUnexpanded());
    EXPECT_TRUE(m_pTree->GetItemEntry(hPeople)->CanRefresh());

    HTREEITEM hZed = m_panes.Child(hPeople, "cn=Zed");
    ASSERT_TRUE(m_pTree->ClickItem(hZed));
    ASSERT_FALSE(m_panes.Rows().empty());

    m_panes.DeleteEntry(hZed, IDNO);
    EXPECT_EQ(m_panes.m_services.m_boxes.Count(), 1);
    EXPECT_EQ(m_panes.m_services.m_boxes.Boxes()[0].nType & MB_TYPEMASK, MB_YESNO);
    EXPECT_TRUE(m_panes.Child(hPeople, "cn=Zed"));

    m_panes.DeleteEntry(hZed);
    EXPECT_FALSE(m_panes.Child(hPeople, "cn=Zed"));
    EXPECT_EQ(m_pTree->GetItemEntry(hZed), nullptr);
    EXPECT_EQ(m_panes.m_pList->GetCurrentEntry(), nullptr);
    EXPECT_TRUE(m_panes.Rows().empty());

    m_panes.m_services.m_boxes.Clear();
    m_panes.DeleteEntry(hPeople);
    EXPECT_EQ(Str(m_panes.m_services.m_boxes.LastText()),
              "Error - This entry is a parent entry and can't be deleted.");
    EXPECT_TRUE(m_panes.Child(m_panes.Root(), "ou=People"));
    EXPECT_TRUE(m_pTree->GetItemEntry(hPeople)->CanDeleteEntry());
}

TEST_F(TreePane, ActivationAndTabSetTheCommandFlags) {
    m_panes.m_doc.m_bRefreshEnabled = true;
    m_pTree->OnActivateView();
    EXPECT_TRUE(m_panes.m_doc.m_bEntryCommandsEnabled);
    EXPECT_FALSE(m_panes.m_doc.m_bAttributeCommandsEnabled);
    m_panes.m_pList->OnActivateView();
    EXPECT_FALSE(m_panes.m_doc.m_bEntryCommandsEnabled);
    EXPECT_TRUE(m_panes.m_doc.m_bAttributeCommandsEnabled);
    m_panes.m_doc.m_bRefreshEnabled = false;
    m_pTree->OnActivateView();
    EXPECT_FALSE(m_panes.m_doc.m_bEntryCommandsEnabled);
    // Tab is the pane's, not the control's focus chain.
    QTest::keyClick(m_pTree->GetTreeControl(), Qt::Key_Tab);
    EXPECT_TRUE(m_pTree->GetTreeControl()->isVisible());
}

// Handlers fed directly, as a streaming LDAP browse feeds them.
class TreeEvents : public ::testing::Test {
protected:
    void SetUp() override {
        m_panes.CheckModels();
        m_root.SetDN("o=Acme");
        m_hRoot = m_pTree->InsertEntryItem(&m_root, HTREEITEM());
        m_hWnd = m_pTree->GetSafeHwnd();
    }
    void TearDown() override {
        m_pTree->DeleteAllItems();
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
    // New entries of these DNs sent to the pane as one found batch below hItem.
    void Found(std::initializer_list<const char*> dns, HTREEITEM hItem) {
        CPtrList list;
        for (const char* dn : dns)
            list.AddTail(Node(dn));
        Notify(m_hWnd, &ISourceEvents::EntriesFound, list, hItem);
    }

    CPanes m_panes;
    CLdapTreeView* const m_pTree = m_panes.m_pTree;
    CEntryNode m_root;
    std::vector<CEntryNode*> m_nodes;
    HTREEITEM m_hRoot;
    HWND m_hWnd;
};

TEST_F(TreeEvents, StreamedListsLandSortedAndProgressTextsAreExact) {
    m_pTree->ExpandItem(m_hRoot); // no source: the placeholder goes, nothing is asked
    Notify(m_hWnd, &ISourceEvents::LoadingEntries, m_hRoot);
    EXPECT_EQ(m_panes.ChildTexts(m_hRoot), (std::vector<std::string>{"loading entries........."}));
    Notify(m_hWnd, &ISourceEvents::RemovePlaceholder, m_hRoot);
    EXPECT_TRUE(m_panes.ChildTexts(m_hRoot).empty());
    Found({"cn=d,o=Acme", "cn=B,o=Acme", "cn=a,o=Acme"}, m_hRoot);
    EXPECT_EQ(Str(m_panes.Status(1)), "cn=a,o=Acme");
    Found({"cn=C,o=Acme"}, m_hRoot);
    // Batched items are linked before the next handler looks at the tree.
    Notify(m_hWnd, &ISourceEvents::SearchDone, m_hRoot, 4);
    EXPECT_EQ(m_panes.ChildTexts(m_hRoot), (std::vector<std::string>{"cn=a", "cn=B", "cn=C", "cn=d"}));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  4 entries found");
    for (HTREEITEM hChild : m_pTree->GetChildItems(m_hRoot)) {
        EXPECT_TRUE(m_pTree->GetItemEntry(hChild)->IsUnexpanded());
        EXPECT_TRUE(m_pTree->GetItemEntry(hChild)->GetTreeItem() == hChild);
    }
    Notify(m_hWnd, &ISourceEvents::SearchDone, m_hRoot, SEARCH_FAILED);
    EXPECT_EQ(Str(m_panes.Status(1)), "Error in search operation");
    Notify(m_hWnd, &ISourceEvents::SearchDone, m_hRoot, SEARCH_STOPPED);
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Abandoned");
}

TEST_F(TreeEvents, QueuedItemsAppearAndStaleHandlesAreIgnored) {
    Found({"cn=x,o=Acme"}, m_hRoot);
    // The event loop links them on its own, shortly.
    CEntryTreeModel* pModel = m_pTree->GetModel();
    ASSERT_TRUE(WaitUntil([&]() { return !pModel->HasQueued(); }, 5000));
    EXPECT_EQ(pModel->rowCount(pModel->IndexOf(pModel->Find(m_hRoot))), 2); // placeholder + x

    CEntryNode* pChild = Node("cn=a,o=Acme");
    HTREEITEM hStale = m_pTree->InsertEntryItem(pChild, m_hRoot);
    m_pTree->DeleteAllItems();
    m_hRoot = m_pTree->InsertEntryItem(&m_root, HTREEITEM());
    Found({"cn=late,o=Acme"}, hStale);
    Notify(m_hWnd, &ISourceEvents::LoadingEntries, hStale);
    Notify(m_hWnd, &ISourceEvents::RemovePlaceholder, hStale);
    Notify(m_hWnd, &ISourceEvents::SearchDone, hStale, 0);
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  0 entries found");
    EXPECT_FALSE(pChild->IsLeaf()) << "a stale item's entry is not touched";
    Notify(m_hWnd, &ISourceEvents::EntryAdded, Node("cn=new,o=Acme"), hStale);
    m_pTree->FlushPendingItems();
    EXPECT_EQ(pModel->ItemCount(), 2) << "root and its placeholder only";

    // A rename reported for an entry whose item is gone renames the entry only.
    CModifyEntryRequest request;
    request.pEntry = pChild;
    request.bSucceeded = TRUE;
    request.strNewDN = "cn=b,o=Acme";
    Notify(m_hWnd, &ISourceEvents::EntryModified, request);
    EXPECT_EQ(Str(pChild->GetDN()), "cn=b,o=Acme");
    EXPECT_EQ(m_pTree->GetItemEntry(hStale), nullptr);
    EXPECT_EQ(pModel->ItemCount(), 2);

    // A failed rename changes nothing.
    HTREEITEM hLive = m_pTree->InsertEntryItem(pChild, m_hRoot);
    request.bSucceeded = FALSE;
    request.strNewDN = "cn=c,o=Acme";
    Notify(m_hWnd, &ISourceEvents::EntryModified, request);
    EXPECT_EQ(Str(m_pTree->GetItemText(hLive)), "cn=b");
    EXPECT_FALSE(m_pTree->ItemHasFixedText(hLive));

    // An empty search base shows as Root.
    CEntryNode top;
    HTREEITEM hTop = m_pTree->InsertEntryItem(&top, HTREEITEM());
    EXPECT_EQ(Str(m_pTree->GetItemText(hTop)), "Root");
    m_pTree->DeleteAllItems();
}

TEST_F(TreeEvents, DeletedEntryGoesBackToTheSourceOnceItsItemIsGone) {
    m_pTree->ExpandItem(m_hRoot);
    auto* pChild = new CEntryNode; // freed by the pane (no source: deleted)
    pChild->SetDN("cn=c,o=Acme");
    pChild->SetParent(&m_root);
    HTREEITEM hChild = m_pTree->InsertEntryItem(pChild, m_hRoot);
    pChild->BeginOperation(OP_DELETE_ENTRY);
    CDeleteEntryRequest request;
    request.pEntry = pChild;
    request.bSucceeded = TRUE;
    Notify(m_hWnd, &ISourceEvents::EntryDeleted, request);
    EXPECT_EQ(request.pEntry, nullptr);
    EXPECT_EQ(m_pTree->GetItemEntry(hChild), nullptr);
    EXPECT_TRUE(m_root.CanRefresh()) << "the delete's operation was ended";

    // A notice for an entry whose item a refresh already took: the server
    // deleted it, so no failure is shown, and the node stays the source's.
    CEntryNode orphan;
    orphan.SetDN("cn=o,o=Acme");
    CDeleteEntryRequest again;
    again.pEntry = &orphan;
    again.bSucceeded = TRUE;
    int nBoxes = m_panes.m_services.m_boxes.Count();
    Notify(m_hWnd, &ISourceEvents::EntryDeleted, again);
    EXPECT_EQ(m_panes.m_services.m_boxes.Count(), nBoxes);
    EXPECT_EQ(again.pEntry, &orphan);
}

TEST(TreePaneOfAFile, TheSyntheticRootEndsItsReadWithACount) {
    CPanes panes;
    CTempDir dir;
    ASSERT_TRUE(
        panes.OpenLdif(dir.File("directory.ldif"), "dn: o=Acme\nobjectclass: organization\no: Acme\n", ""));
    panes.m_pTree->ExpandItem(panes.Root());
    ASSERT_TRUE(panes.m_pTree->ClickItem(panes.Child(panes.Root(), "o=Acme")));
    EXPECT_EQ(Str(panes.Status(2)), "2 Attributes Found.");
    ASSERT_TRUE(panes.m_pTree->ClickItem(panes.Root()));
    EXPECT_EQ(Str(panes.Status(2)), "0 Attributes Found.");
}
