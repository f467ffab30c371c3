#include "platform/String.h"

#include <gtest/gtest.h>

TEST(CString, KeepsEveryByteIncludingZeroAndInvalidUtf8) {
    const std::string raw("a\0b\xff\xfe c", 7);
    CString s(raw);
    EXPECT_EQ(s.GetLength(), 7);
    EXPECT_EQ(s.Str(), raw);
    CString t = s + CString("\0z", 2);
    EXPECT_EQ(t.GetLength(), 9);
    EXPECT_EQ(t.Mid(7).Str(), std::string("\0z", 2));
}

TEST(CString, SlicingClampsOutOfRangeArguments) {
    CString s("abc");
    EXPECT_EQ(s.Left(10), "abc");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Mid(5), "");
    EXPECT_EQ(s.Mid(1, 99), "bc");
    EXPECT_EQ(s.Right(2), "bc");
    EXPECT_EQ(s.Find(',', 4), -1);
}

TEST(CString, CaseOperationsAreAsciiOnlyAndLeaveOtherBytes) {
    CString s("Cn=\xc3\x84ke,O=Acme");
    CString upper = s;
    upper.MakeUpper();
    EXPECT_EQ(upper, "CN=\xc3\x84KE,O=ACME");
    EXPECT_EQ(CString("abc").CompareNoCase("ABD"), -1);
    EXPECT_EQ(CString("ABC").CompareNoCase("abc"), 0);
    EXPECT_EQ(CString("ab").CompareNoCase("abc"), -1);
}

TEST(CString, TrimAndFormat) {
    CString s("  x y \t");
    s.Trim();
    EXPECT_EQ(s, "x y");
    CString f;
    f.Format("%d Attributes Found", 12);
    EXPECT_EQ(f, "12 Attributes Found");
    CString big;
    big.Format("%s", std::string(1000, 'q').c_str());
    EXPECT_EQ(big.GetLength(), 1000);
}
