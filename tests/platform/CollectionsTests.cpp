#include "platform/Collections.h"

#include <gtest/gtest.h>

TEST(CPtrList, HeadTailAndPositionsStayConsistent) {
    int a = 1, b = 2, c = 3;
    CPtrList list;
    list.AddTail(&b);
    list.AddHead(&a);
    POSITION pc = list.AddTail(&c);
    ASSERT_EQ(list.GetCount(), 3);

    std::vector<int> seen;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        seen.push_back(*static_cast<int*>(list.GetNext(pos)));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

    list.RemoveAt(list.Find(&b));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetTail(), &c);
    list.RemoveAt(pc);
    EXPECT_EQ(list.GetTail(), &a);
    EXPECT_EQ(list.RemoveHead(), &a);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
}

TEST(CArray, InsertRemoveAndUpperBound) {
    CDWordArray a;
    a.Add(1);
    a.Add(3);
    a.InsertAt(1, 2);
    EXPECT_EQ(a.GetUpperBound(), 2);
    a.RemoveAt(0);
    EXPECT_EQ(a[0], 2u);
    EXPECT_EQ(a[1], 3u);
    CStringArray s;
    s.Add("x");
    EXPECT_EQ(s.GetAt(0), "x");
}
