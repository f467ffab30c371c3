// The syntax checks: one table of values each syntax takes and refuses.

#include "model/ValueSyntax.h"

#include <gtest/gtest.h>

namespace {

struct SyntaxCase {
    const char* pszSyntax;
    const char* pszValue;
    bool bFits;
};

const SyntaxCase kCases[] = {
    {ValueSyntax::kInteger, "0", true},
    {ValueSyntax::kInteger, "-42", true},
    {ValueSyntax::kInteger, "1000", true},
    {ValueSyntax::kInteger, "abc", false},
    {ValueSyntax::kInteger, "", false},
    {ValueSyntax::kInteger, "007", false},
    {ValueSyntax::kInteger, "-0", false},
    {ValueSyntax::kInteger, "12 ", false},
    {ValueSyntax::kBoolean, "TRUE", true},
    {ValueSyntax::kBoolean, "FALSE", true},
    {ValueSyntax::kBoolean, "true", false},
    {ValueSyntax::kBoolean, "yes", false},
    {ValueSyntax::kGeneralizedTime, "20240131235959Z", true},
    {ValueSyntax::kGeneralizedTime, "2024013123Z", true},
    {ValueSyntax::kGeneralizedTime, "202401312359.5+0200", true},
    {ValueSyntax::kGeneralizedTime, "20240229120000-05", true},
    {ValueSyntax::kGeneralizedTime, "20230229120000Z", false}, // not a leap year
    {ValueSyntax::kGeneralizedTime, "20241301000000Z", false},
    {ValueSyntax::kGeneralizedTime, "20240131246000Z", false},
    {ValueSyntax::kGeneralizedTime, "20240131235959", false}, // no zone
    {ValueSyntax::kGeneralizedTime, "2024-01-31", false},
    {ValueSyntax::kDN, "cn=Smith\\, J,ou=People,dc=example,dc=com", true},
    {ValueSyntax::kDN, "", true},
    {ValueSyntax::kDN, "cn=a+sn=b,o=x", true},
    {ValueSyntax::kDN, "Smith", false},
    {ValueSyntax::kDN, "cn=Smith, J,o=x", false},
    {ValueSyntax::kDN, "cn=a,,o=x", false},
    {ValueSyntax::kOID, "2.5.4.3", true},
    {ValueSyntax::kOID, "person", true},
    {ValueSyntax::kOID, "2.05.4", false},
    {ValueSyntax::kOID, "2", false},
    {ValueSyntax::kOID, "1person", false},
    {ValueSyntax::kNumericString, "123 456", true},
    {ValueSyntax::kNumericString, "12a", false},
    {ValueSyntax::kNumericString, "", false},
    {ValueSyntax::kPrintableString, "Hello (World) 1+1=2?", true},
    {ValueSyntax::kPrintableString, "a@b", false},
    {ValueSyntax::kPrintableString, "", false},
    {ValueSyntax::kCountryString, "FI", true},
    {ValueSyntax::kCountryString, "FIN", false},
    {ValueSyntax::kCountryString, "F", false},
    {ValueSyntax::kIA5String, "user@example.com", true},
    {ValueSyntax::kIA5String, "", true},
    {ValueSyntax::kIA5String, "p\xC3\xA4iv\xC3\xA4", false},
    {ValueSyntax::kTelephoneNumber, "+358 9 123 4567", true},
    {ValueSyntax::kTelephoneNumber, "555-1234 ext#3", false},
    {ValueSyntax::kPostalAddress, "1 Main St$Springfield", true},
    {ValueSyntax::kPostalAddress, "Costs \\2410$Town \\5C Gown", true},
    {ValueSyntax::kPostalAddress, "Line$$Line", false},
    {ValueSyntax::kPostalAddress, "Line$", false},
    {ValueSyntax::kPostalAddress, "a \\ b", false},
    {ValueSyntax::kBitString, "'0101'B", true},
    {ValueSyntax::kBitString, "''B", true},
    {ValueSyntax::kBitString, "'0102'B", false},
    {ValueSyntax::kBitString, "0101", false},
    // A length bound is ignored; unchecked syntaxes pass.
    {"1.3.6.1.4.1.1466.115.121.1.27{10}", "12", true},
    {"1.3.6.1.4.1.1466.115.121.1.27{10}", "x", false},
    {"1.3.6.1.4.1.1466.115.121.1.15", "anything \xE2\x82\xAC", true},
    {"", "anything", true},
};

} // namespace

TEST(ValueSyntax, EachCheckedSyntaxTakesAndRefusesItsTable) {
    for (const SyntaxCase& c : kCases) {
        const CString reason = CheckValueSyntax(c.pszSyntax, c.pszValue);
        EXPECT_EQ(reason.IsEmpty(), c.bFits) << c.pszSyntax << " '" << c.pszValue << "': " << reason.Str();
    }
    EXPECT_EQ(CheckValueSyntax(ValueSyntax::kInteger, "abc").Str(),
              "must be a whole number, such as 42 or -7");
}

TEST(ValueSyntax, GeneralizedTimeGivesItsPartsAndOffset) {
    CGeneralizedTime time;
    ASSERT_TRUE(ParseGeneralizedTime("20240131235958-0130", time));
    EXPECT_EQ(time.nYear, 2024);
    EXPECT_EQ(time.nMonth, 1);
    EXPECT_EQ(time.nDay, 31);
    EXPECT_EQ(time.nHour, 23);
    EXPECT_EQ(time.nMinute, 59);
    EXPECT_EQ(time.nSecond, 58);
    EXPECT_EQ(time.nOffsetMinutes, -90);
}
