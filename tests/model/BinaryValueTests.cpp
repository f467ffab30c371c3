#include "model/BinaryValue.h"

#include <gtest/gtest.h>

namespace {

CString Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return CString(s);
}

TEST(BinaryValue, TextStaysTextAndEverythingElseIsSummarised) {
    const struct {
        const char* name;
        CString value;
        bool bBinary;
    } cases[] = {
        {"cn", "Smith", false},
        {"description", "line1\nline2\ttab", false},
        {"cn", "M\xC3\xBCller \xE2\x82\xAC", false},
        {"cn", Bytes({'a', 0, 'b'}), true},             // a zero byte
        {"cn", Bytes({0xC3}), true},                    // cut UTF-8
        {"cn", Bytes({0xC0, 0x80}), true},              // overlong
        {"cn", Bytes({0xED, 0xA0, 0x80}), true},        // surrogate
        {"cn", Bytes({0x1B, '[', '1', 'm'}), true},     // escape sequence
        {"jpegPhoto", "plain", true},                   // binary by type
        {"OBJECTGUID", "x", true},
        {"userCertificate;binary", "x", true},
        {"description;lang-de;BINARY", "x", true},
        {"description;lang-de", "x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsBinaryValue(c.name, c.value), c.bBinary) << c.name << " " << c.value.Str();
}

TEST(BinaryValue, SummaryAndDescriptionNameTheBytes) {
    CString jpeg = Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x01,
                          0xE0, 0x02, 0x80, 0x01, 0x01, 0x11, 0x00});
    EXPECT_EQ(BinaryValueSummary(jpeg), CString("(binary, 21 bytes: FF D8 FF E0 \xE2\x80\xA6)"));
    EXPECT_EQ(BinaryValueSummary(Bytes({1, 2})), CString("(binary, 2 bytes: 01 02)"));
    EXPECT_EQ(BinaryValueSummary(CString()), CString("(binary, 0 bytes)"));
    EXPECT_EQ(DescribeBinaryValue("jpegPhoto", jpeg), CString("JPEG image, 640 \xC3\x97 480 pixels, 21 bytes"));

    CString png = Bytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x04,
                         0x00, 0, 0, 0, 32});
    EXPECT_EQ(DescribeBinaryValue("photo", png), CString("PNG image, 1024 \xC3\x97 32 pixels, 24 bytes"));
    CString der = Bytes({0x30, 0x82, 0x03, 0x90, 0x30, 0x82, 0x02, 0x78});
    EXPECT_EQ(DescribeBinaryValue("userCertificate;binary", der), CString("X.509 certificate, 8 bytes"));
    std::string big(12345, 'x');
    EXPECT_EQ(DescribeBinaryValue("audio", CString(big)), CString("Binary value, 12,345 bytes"));
    // A truncated JPEG header is not taken for an image.
    EXPECT_EQ(DescribeBinaryValue("jpegPhoto", Bytes({0xFF, 0xD8, 0xFF, 0xC0, 0x00})),
              CString("Binary value, 5 bytes"));
}

} // namespace
