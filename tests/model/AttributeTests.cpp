#include "model/Attribute.h"

#include <gtest/gtest.h>

namespace {
CAttribute Make(const char* name, std::initializer_list<const char*> values) {
    CAttribute a;
    a.m_strName = name;
    for (const char* v : values)
        a.Add(v);
    return a;
}
} // namespace

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
