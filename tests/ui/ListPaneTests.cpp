// The attribute pane: fill order, header sorting, row handlers, menu rules.

#include "UiTestSupport.h"

#include "model/EntryNode.h"
#include "platform/qt/PlainText.h"
#include "source/Requests.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>

namespace {

CAttribute* Attr(const char* name, const std::vector<CString>& values = {}) {
    auto* p = new CAttribute;
    p->SetName(name);
    for (const CString& value : values)
        p->Add(value);
    return p;
}

class ListPane : public ::testing::Test {
protected:
    void SetUp() override {
        m_panes.CheckModels();
        m_entry.SetDN("cn=e,o=x");
        m_panes.m_doc.UpdateAllViews(nullptr, HINT_SHOW_ENTRY, &m_entry);
        m_hWnd = m_panes.m_pList->GetSafeHwnd();
    }

    void Show(const std::vector<CAttribute*>& attributes) {
        CAttributeArray array;
        for (CAttribute* p : attributes)
            array.Add(p);
        Notify(m_hWnd, &ISourceEvents::ShowAttributes, array, nullptr);
        DeleteAttributes(array);
    }

    // Hands the pane a source's result, for the shown entry unless told.
    template <class TRequest>
    void Send(void (ISourceEvents::*pfnEvent)(TRequest&), TRequest& request, BOOL bSucceeded = TRUE,
              CEntryNode* pEntry = nullptr) {
        request.pEntry = pEntry ? pEntry : &m_entry;
        request.bSucceeded = bSucceeded;
        Notify(m_hWnd, pfnEvent, request);
    }

    CPanes m_panes;
    CEntryNode m_entry;
    HWND m_hWnd;
};

} // namespace

TEST_F(ListPane, ColumnsFillOrderTextAndBinaryValues) {
    QTreeView* pList = m_panes.m_pList->GetListControl();
    EXPECT_EQ(pList->model()->headerData(0, Qt::Horizontal).toString(), "Attributes");
    EXPECT_EQ(pList->model()->headerData(1, Qt::Horizontal).toString(), "Values");
    EXPECT_EQ(pList->columnWidth(0), 192);
    // The values take what the pane has beyond the names.
    EXPECT_TRUE(pList->header()->stretchLastSection());
    m_panes.m_pList->resize(700, 300);
    m_panes.m_pList->show();
    PumpEvents();
    EXPECT_EQ(pList->columnWidth(0) + pList->columnWidth(1), pList->viewport()->width());
    EXPECT_GT(pList->columnWidth(1), 192);
    // Shown while the entry is read; an entry read already says its count.
    EXPECT_TRUE(m_panes.StatusShown(2, "Finding Attributes for - cn=e,o=x"));

    Show({Attr("A", {"a1", "a2"}), Attr("B", {"b1"})});
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"B=b1", "A=a1", "A=a2"}));
    EXPECT_EQ(Str(m_panes.Status(2)), "3 Attributes Found.");
    // Attributes read one by one come in read order, after what was there.
    Show({Attr("C")});
    Show({Attr("D", {"d"})});
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"B=b1", "A=a1", "A=a2", "C=", "D=d"}));
    // Activation focuses the first row without selecting it.
    m_panes.m_pList->OnActivateView();
    EXPECT_EQ(m_panes.m_pList->GetFocusedRow(), 0);
    EXPECT_TRUE(m_panes.m_pList->GetSelectedRows().empty());
    Notify(m_hWnd, &ISourceEvents::ClearAttributes, nullptr);
    EXPECT_TRUE(m_panes.Rows().empty());

    // Text shows as UTF-8, binary as a summary with the bytes kept.
    const struct {
        const char* name;
        CString raw;
        const char* shown;
        const char* tip;
    } cases[] = {
        {"description", CString("caf\xc3\xa9"), "caf\xc3\xa9", ""},
        {"description", CString("caf\xc3\xa9 \xff", 7), "(binary, 7 bytes: 63 61 66 C3 \xE2\x80\xA6)",
         "Binary value, 7 bytes"},
        {"objectGUID", CString("\x01\x00\x02", 3), "(binary, 3 bytes: 01 00 02)", "Binary value, 3 bytes"},
    };
    std::vector<CAttribute*> attributes;
    for (const auto& c : cases)
        attributes.push_back(Attr(c.name, {c.raw}));
    Show(attributes);
    QAbstractItemModel* pModel = m_panes.m_pList->GetListControl()->model();
    ASSERT_EQ(pModel->rowCount(), 3);
    for (const auto& c : cases) {
        int nRow = 0; // the bytes held are the server's
        while (nRow < 3 && m_panes.m_pList->GetRowValue(nRow) != c.raw)
            ++nRow;
        ASSERT_LT(nRow, 3) << c.shown;
        EXPECT_EQ(pModel->index(nRow, 1).data().toString(), QString::fromUtf8(c.shown));
        EXPECT_EQ(ToolTipPlainText(pModel->index(nRow, 1).data(Qt::ToolTipRole).toString()),
                  QString::fromUtf8(c.tip));
    }
}

TEST_F(ListPane, HeaderClicksSortEachColumnWithFlagsSharedByEveryPane) {
    Show({Attr("b", {"Y"}), Attr("A", {"x", "z"}), Attr("c", {"W"})});
    QHeaderView* pHeader = m_panes.m_pList->GetListControl()->header();
    m_panes.m_pList->SelectRows({m_panes.RowOf("A=x")});
    // First click: descending, ignoring case; the selection stays on its row.
    QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, {},
                      QPoint(pHeader->sectionViewportPosition(1) + 20, 5));
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"A=z", "b=Y", "A=x", "c=W"}));
    EXPECT_EQ(m_panes.m_pList->GetSelectedRows(), (std::vector<int>{2}));
    // The arrow shows the column and the direction of the last sort.
    EXPECT_EQ(pHeader->sortIndicatorSection(), 1);
    EXPECT_EQ(pHeader->sortIndicatorOrder(), Qt::DescendingOrder);
    m_panes.m_pList->OnColumnClick(1);
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"c=W", "A=x", "b=Y", "A=z"}));
    EXPECT_EQ(pHeader->sortIndicatorOrder(), Qt::AscendingOrder);
    m_panes.m_pList->OnColumnClick(0);
    EXPECT_EQ(m_panes.Rows()[0].substr(0, 1), "c");
    EXPECT_FALSE(CLdapListView::IsSortAscending(0));

    // Another pane continues with the same directions.
    CLdapListView other(&m_panes.m_doc);
    CAttributeArray array;
    array.Add(Attr("n", {"a", "B"}));
    other.Fill(array);
    DeleteAttributes(array);
    other.OnColumnClick(1); // the shared flag was ascending after two clicks: now descending
    EXPECT_EQ(Str(other.GetRowValue(0)), "B");
}

TEST_F(ListPane, RowHandlersFollowTheRecordsAndFreeTheirCopies) {
    Show({Attr("a", {"1", "2", "3", "4", "5"})});
    // Results for an entry no longer shown leave the rows alone.
    CEntryNode other;
    CDeleteAttributesRequest otherDeleted;
    otherDeleted.rowIndices.Add(0);
    otherDeleted.attributes.Add(new CAttribute);
    Send(&ISourceEvents::AttributeDeleted, otherDeleted, TRUE, &other);
    CModifyAttributeRequest otherModified;
    otherModified.attribute.SetName("a");
    otherModified.attribute.Add("x");
    Send(&ISourceEvents::AttributeModified, otherModified, TRUE, &other);
    CAddAttributesRequest otherAdded;
    otherAdded.attributes.Add(new CAttribute);
    Send(&ISourceEvents::AttributeAdded, otherAdded, TRUE, &other);
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"a=1", "a=2", "a=3", "a=4", "a=5"}));
    EXPECT_TRUE(otherDeleted.attributes.IsEmpty());
    EXPECT_TRUE(otherAdded.attributes.IsEmpty());

    CDeleteAttributesRequest deleted;
    deleted.rowIndices.Add(1);
    deleted.rowIndices.Add(3);
    deleted.attributes.Add(Attr("a", {"2", "4"}));
    // Rows are found by what they show, wherever a sort has put them.
    m_panes.m_pList->OnColumnClick(1);
    Send(&ISourceEvents::AttributeDeleted, deleted);
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"a=5", "a=3", "a=1"}));
    m_panes.m_pList->OnColumnClick(1);
    EXPECT_TRUE(deleted.attributes.IsEmpty());
    EXPECT_TRUE(deleted.rowIndices.IsEmpty());

    CDeleteAttributesRequest failed;
    failed.rowIndices.Add(0);
    failed.attributes.Add(new CAttribute);
    Send(&ISourceEvents::AttributeDeleted, failed, FALSE);
    EXPECT_EQ(m_panes.Rows().size(), 3u);
    EXPECT_TRUE(failed.attributes.IsEmpty());

    CModifyAttributeRequest modified;
    modified.nRowIndex = 1;
    modified.attribute.SetName("a");
    modified.attribute.Add("new");
    modified.attribute.Add("3");
    // A result for a modify this pane did not ask for names no row of it.
    Send(&ISourceEvents::AttributeModified, modified);
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"a=1", "a=3", "a=5"}));

    CAddAttributesRequest added;
    added.attributes.Add(Attr("b", {"x"}));
    Send(&ISourceEvents::AttributeAdded, added);
    EXPECT_EQ(m_panes.Rows().back(), "b=x");
    EXPECT_TRUE(added.attributes.IsEmpty());
}

TEST_F(ListPane, ContextMenuRules) {
    CLdapListView* pList = m_panes.m_pList;
    // No rows: no menu at all.
    pList->OnRightButtonDown(QPoint(10, 10));
    EXPECT_FALSE(pList->GetContextMenu()->isVisible());

    Show({Attr("a", {"1", "2"})});
    pList->OnRightButtonDown(QPoint(10, 10));
    ASSERT_TRUE(pList->GetContextMenu()->isVisible());
    EXPECT_EQ(pList->GetMenuAction(ID_ATTRIBUTE_ADD)->text(), "&Add ");
    EXPECT_EQ(pList->GetMenuAction(ID_ATTRIBUTE_DELETE)->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_TRUE(pList->GetMenuAction(ID_ATTRIBUTE_ADD)->isEnabled());
    EXPECT_FALSE(pList->GetMenuAction(ID_ATTRIBUTE_DELETE)->isEnabled()) << "no row selected";
    EXPECT_FALSE(pList->GetMenuAction(ID_ATTRIBUTE_MODIFY)->isEnabled());
    EXPECT_TRUE(pList->GetMenuAction(ID_ATTRIBUTE_REFRESH)->isEnabled());
    pList->GetContextMenu()->close();

    // The control selects the row under the pointer first.
    QTreeView* pControl = pList->GetListControl();
    QRect row = pControl->visualRect(pControl->model()->index(1, 0));
    QTest::mousePress(pControl->viewport(), Qt::RightButton, {}, row.center());
    EXPECT_EQ(pList->GetSelectedRows(), (std::vector<int>{1}));
    EXPECT_TRUE(pList->GetMenuAction(ID_ATTRIBUTE_DELETE)->isEnabled());
    EXPECT_TRUE(pList->GetMenuAction(ID_ATTRIBUTE_MODIFY)->isEnabled());
    pList->GetContextMenu()->close();

    m_entry.BeginOperation(OP_READ_ATTRIBUTES);
    pList->OnRightButtonDown(row.center());
    EXPECT_FALSE(pList->GetMenuAction(ID_ATTRIBUTE_ADD)->isEnabled());
    EXPECT_FALSE(pList->GetMenuAction(ID_ATTRIBUTE_DELETE)->isEnabled());
    EXPECT_FALSE(pList->GetMenuAction(ID_ATTRIBUTE_REFRESH)->isEnabled());
    pList->GetContextMenu()->close();
    m_entry.EndOperation(OP_READ_ATTRIBUTES);

    // Without a current entry: no menu.
    m_panes.m_doc.UpdateAllViews(nullptr, 0, nullptr);
    Show({Attr("a", {"1"})});
    pList->OnRightButtonDown(QPoint(10, 10));
    EXPECT_FALSE(pList->GetContextMenu()->isVisible());
}
