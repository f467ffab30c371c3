#include "model/EntryNode.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

// Refresh, add entry, delete entry, add/delete/modify attribute, refresh
// attributes, modify entry, save to LDIF.
using CFlags = std::array<BOOL, 9>;

CFlags FlagsOf(const CEntryNode& n) {
    return {n.CanRefresh(),           n.CanAddEntry(),        n.CanDeleteEntry(),
            n.CanAddAttribute(),      n.CanDeleteAttribute(), n.CanModifyAttribute(),
            n.CanRefreshAttributes(), n.CanModifyEntry(),     n.CanSaveToLdif()};
}

constexpr BOOL T = TRUE, F = FALSE;
const CFlags kAll{T, T, T, T, T, T, T, T, T};
const CFlags kAncestorOff{F, T, F, T, T, T, T, F, F};

CAttribute Make(const char* name, std::initializer_list<const char*> values) {
    CAttribute a;
    a.m_strName = name;
    for (const char* v : values)
        a.Add(v);
    return a;
}

// A chain top -> mid -> leaf.
struct CChain {
    CEntryNode top, mid, leaf;
    CChain() {
        mid.SetParent(&top);
        leaf.SetParent(&mid);
        top.AddChildTail(&mid);
        mid.AddChildTail(&leaf);
    }
};

} // namespace

TEST(CEntryNode, ConstructedWithAllFlagsOnAndNoMarksAndClearingAStopRequest) {
    CEntryNode n;
    EXPECT_EQ(FlagsOf(n), kAll);
    EXPECT_FALSE(n.IsRoot());
    EXPECT_FALSE(n.IsUnexpanded());
    EXPECT_FALSE(n.IsLeaf());
    EXPECT_EQ(n.GetParent(), nullptr);
    EXPECT_FALSE(n.GetTreeItem());

    // A stop request stays until the next node is constructed.
    CEntryNode::RequestStop();
    EXPECT_TRUE(CEntryNode::IsStopRequested());
    EXPECT_TRUE(CEntryNode::IsStopRequested());
    { CEntryNode fresh; }
    EXPECT_FALSE(CEntryNode::IsStopRequested());
}

TEST(CEntryNode, AddValueAppendsDuplicatesAndKeepsCaseVariantsApart) {
    CEntryNode n;
    n.AddValue("cn", "x");
    n.AddValue("cn", "x");
    ASSERT_EQ(n.m_attributes.GetSize(), 1);
    EXPECT_EQ(n.m_attributes[0]->GetSize(), 2);
    n.AddValue("CN", "y");
    ASSERT_EQ(n.m_attributes.GetSize(), 2);
    EXPECT_EQ(n.m_attributes[1]->m_strName, "CN");
    EXPECT_EQ(n.m_attributes[0]->GetSize(), 2);

    // HasNonEmptyValue and CountRemainingValues go by the exact name too.
    n.AddValue("desc", "");
    EXPECT_FALSE(n.HasNonEmptyValue("desc"));
    n.AddValue("desc", "x");
    EXPECT_TRUE(n.HasNonEmptyValue("desc"));
    EXPECT_FALSE(n.HasNonEmptyValue("Desc"));
    CStringArray values;
    values.Add("x");
    EXPECT_EQ(n.CountRemainingValues(values, "desc"), 1);
    values.Add("");
    EXPECT_EQ(n.CountRemainingValues(values, "desc"), 0);
    EXPECT_EQ(n.CountRemainingValues(values, "absent"), 0);
}

TEST(CEntryNode, RemoveValueIsByteExactAndKeepsTheEmptiedAttribute) {
    CEntryNode n;
    n.AddValue("mail", "a@x");
    n.AddValue("mail", "b@x");
    EXPECT_FALSE(n.RemoveValue("mail", "A@x"));
    EXPECT_FALSE(n.RemoveValue("MAIL", "a@x"));
    EXPECT_FALSE(n.RemoveValue("mail", "a@x "));
    EXPECT_EQ(n.m_attributes[0]->GetSize(), 2);
    EXPECT_TRUE(n.RemoveValue("mail", "a@x"));
    EXPECT_TRUE(n.RemoveValue("mail", "b@x"));
    ASSERT_EQ(n.m_attributes.GetSize(), 1);
    EXPECT_EQ(n.m_attributes[0]->GetSize(), 0);
    EXPECT_FALSE(n.HasNonEmptyValue("mail"));
    EXPECT_FALSE(n.RemoveValue("mail", "b@x"));

    // A modify with equal new and old value: a source removes the old
    // (second) value and adds the new (first); number and content stay.
    n.AddValue("tel", "1");
    n.AddValue("tel", "2");
    n.RemoveValue("tel", "1");
    n.AddValue("tel", "1");
    ASSERT_EQ(n.m_attributes[1]->GetSize(), 2);
    EXPECT_EQ(n.m_attributes[1]->GetAt(0), "2");
    EXPECT_EQ(n.m_attributes[1]->GetAt(1), "1");

    // Two attributes with one name can arise from a request copy; the scan
    // goes on to the next one when the first lacks the value.
    auto* a = new CAttribute(Make("ou", {"one"}));
    auto* b = new CAttribute(Make("ou", {"two"}));
    n.m_attributes.Add(a);
    n.m_attributes.Add(b);
    EXPECT_TRUE(n.RemoveValue("ou", "two"));
    EXPECT_EQ(b->GetSize(), 0);
    EXPECT_EQ(a->GetSize(), 1);
}

TEST(CEntryNode, EachOperationCodeSetsItsFlagsOnTheEntryAndAllAncestors) {
    struct CCase {
        int nCode;
        CFlags entryOff;
    };
    const CCase cases[] = {
        {OP_EXPAND, {F, F, F, T, T, T, T, F, F}},
        {OP_ADD_ENTRY, {F, F, F, T, T, T, T, F, F}},
        {OP_REFRESH, {F, F, F, T, T, T, T, F, F}},
        {OP_DELETE_ENTRY, {F, F, T, F, F, F, F, F, F}},
        {OP_MODIFY_ENTRY, {F, F, T, F, F, F, F, F, F}},
        {OP_READ_ATTRIBUTES, {F, T, T, F, F, F, F, F, F}},
        {OP_MODIFY_ATTRIBUTE, {F, T, T, F, F, F, F, F, F}},
        {OP_DELETE_ATTRIBUTE, {F, T, T, F, F, F, F, F, F}},
        {OP_ADD_ATTRIBUTE, {F, T, T, F, F, F, F, F, F}},
        {99, kAll}, // an unknown code changes only the ancestors
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.nCode);
        CChain chain;
        chain.leaf.BeginOperation(c.nCode);
        EXPECT_EQ(FlagsOf(chain.leaf), c.entryOff);
        EXPECT_EQ(FlagsOf(chain.mid), kAncestorOff);
        EXPECT_EQ(FlagsOf(chain.top), kAncestorOff);
        chain.leaf.EndOperation(c.nCode);
        EXPECT_EQ(FlagsOf(chain.leaf), kAll);
        EXPECT_EQ(FlagsOf(chain.mid), kAll);
        EXPECT_EQ(FlagsOf(chain.top), kAll);
    }
}

TEST(CEntryNode, FirstEndReenablesAncestorsWhileAnotherOperationBelowRuns) {
    CEntryNode parent, a, b;
    a.SetParent(&parent);
    b.SetParent(&parent);
    a.BeginOperation(OP_READ_ATTRIBUTES);
    b.BeginOperation(OP_READ_ATTRIBUTES);
    EXPECT_FALSE(parent.CanRefresh());
    a.EndOperation(OP_READ_ATTRIBUTES);
    // Nothing is counted: the parent is enabled although b still runs.
    EXPECT_TRUE(parent.CanRefresh());
    EXPECT_FALSE(b.CanRefresh());
    // An operation on the parent leaves its children alone.
    parent.BeginOperation(OP_EXPAND);
    EXPECT_EQ(FlagsOf(a), kAll);
    EXPECT_FALSE(parent.CanRefresh());
}

TEST(CEntryNode, ChildrenKeepHeadAndTailOrderAndOutliveTheirParent) {
    CEntryNode parent, a, b, c;
    parent.AddChildHead(&a);
    parent.AddChildHead(&b);
    parent.AddChildTail(&c);
    EXPECT_EQ(parent.GetChildren(), (std::vector<CEntryNode*>{&b, &a, &c}));
    EXPECT_TRUE(parent.RemoveChild(&a));
    EXPECT_FALSE(parent.RemoveChild(&a));
    EXPECT_EQ(parent.GetChildCount(), 2);

    // Destruction deletes the attributes but not the children.
    auto child = std::make_unique<CEntryNode>();
    child->AddValue("cn", "c");
    {
        CEntryNode owner;
        owner.AddValue("ou", "p");
        child->SetParent(&owner);
        owner.AddChildHead(child.get());
    }
    // The child is intact (ASan would report a use after free otherwise).
    EXPECT_EQ(child->m_attributes[0]->GetAt(0), "c");
}

TEST(CAttribute, AssignmentReplacesValuesAppendFromKeepsThem) {
    CAttribute a = Make("cn", {"1", "2"});
    CAttribute b = Make("sn", {"3"});
    a.AppendFrom(b);
    EXPECT_EQ(a.m_strName, "sn");
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[2], "3");
    a = b;
    EXPECT_EQ(a.GetSize(), 1);
    EXPECT_EQ(a[0], "3");
    a.AppendFrom(a); // onto itself: doubles its values
    EXPECT_EQ(a.GetSize(), 2);
}

TEST(CAttribute, CopyAttributesMakesIndependentCopiesBehindExistingOnes) {
    CAttribute original = Make("mail", {"a", "b"});
    CAttributeArray source;
    source.Add(&original);
    CAttributeArray destination;
    auto* pExisting = new CAttribute(Make("x", {}));
    destination.Add(pExisting);
    CopyAttributes(destination, source);
    ASSERT_EQ(destination.GetSize(), 2);
    EXPECT_EQ(destination[0], pExisting);
    EXPECT_NE(destination[1], &original);
    destination[1]->RemoveAt(0);
    EXPECT_EQ(original.GetSize(), 2);
    EXPECT_EQ(destination[1]->GetSize(), 1);
    DeleteAttributes(destination);
    EXPECT_TRUE(destination.IsEmpty());
}
