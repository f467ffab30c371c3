#include "model/BinaryValue.h"
#include "model/AsciiCase.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

unsigned char Byte(std::string_view text, size_t i) {
    return static_cast<unsigned char>(text[i]);
}

CString CountText(size_t nBytes) {
    std::string digits = std::to_string(nBytes);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return CString(grouped + (nBytes == 1 ? " byte" : " bytes"));
}

using CSize = std::pair<unsigned, unsigned>;

std::optional<CSize> PngSize(std::string_view v) {
    static const char kSignature[] = "\x89PNG\r\n\x1A\n";
    if (v.size() < 24 || v.substr(0, 8) != std::string_view(kSignature, 8) || v.substr(12, 4) != "IHDR")
        return std::nullopt;
    auto be32 = [&](size_t i) {
        return (unsigned(Byte(v, i)) << 24) | (unsigned(Byte(v, i + 1)) << 16) |
               (unsigned(Byte(v, i + 2)) << 8) | unsigned(Byte(v, i + 3));
    };
    return CSize{be32(16), be32(20)};
}

std::optional<CSize> JpegSize(std::string_view v) {
    if (v.size() < 4 || Byte(v, 0) != 0xFF || Byte(v, 1) != 0xD8)
        return std::nullopt;
    size_t i = 2;
    while (i + 4 <= v.size()) {
        if (Byte(v, i) != 0xFF)
            return std::nullopt;
        unsigned char marker = Byte(v, i + 1);
        if (marker == 0xFF) {
            ++i; // fill byte
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        size_t nLength = (size_t(Byte(v, i + 2)) << 8) | Byte(v, i + 3);
        bool bFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (bFrame) {
            if (i + 9 > v.size())
                return std::nullopt;
            unsigned nHeight = (unsigned(Byte(v, i + 5)) << 8) | Byte(v, i + 6);
            unsigned nWidth = (unsigned(Byte(v, i + 7)) << 8) | Byte(v, i + 8);
            return CSize{nWidth, nHeight};
        }
        if (nLength < 2)
            return std::nullopt;
        i += 2 + nLength;
    }
    return std::nullopt;
}

// A DER SEQUENCE that opens with another SEQUENCE: the shape of a
// certificate (and of a few other structures, hence the name check too).
bool LooksLikeCertificate(const CString& name, std::string_view v) {
    if (v.size() < 8 || Byte(v, 0) != 0x30 || Byte(v, 1) != 0x82 || Byte(v, 4) != 0x30)
        return false;
    std::string lower;
    for (char ch : name.View())
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return lower.find("certificate") != std::string::npos || lower.find("cert") != std::string::npos;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = Byte(text, i);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t nLength;
        std::uint32_t code;
        if (lead >= 0xC2 && lead <= 0xDF) {
            nLength = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            nLength = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            nLength = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + nLength > text.size())
            return false;
        for (size_t k = 1; k < nLength; ++k) {
            unsigned char next = Byte(text, i + k);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((nLength == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (nLength == 4 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += nLength;
    }
    return true;
}

bool IsBinaryAttributeName(std::string_view name) {
    static constexpr std::array<std::string_view, 16> kBinaryNames = {
        "jpegPhoto",
        "photo",
        "thumbnailPhoto",
        "thumbnailLogo",
        "audio",
        "userCertificate",
        "cACertificate",
        "crossCertificatePair",
        "certificateRevocationList",
        "authorityRevocationList",
        "deltaRevocationList",
        "userSMIMECertificate",
        "userPKCS12",
        "objectGUID",
        "objectSid",
        "msExchMailboxGuid",
    };
    size_t semicolon = name.find(';');
    std::string_view type = name.substr(0, semicolon);
    for (size_t at = semicolon; at != std::string_view::npos;) {
        size_t next = name.find(';', at + 1);
        if (EqualsNoCaseAscii(name.substr(at + 1, next == std::string_view::npos ? next : next - at - 1),
                              "binary"))
            return true;
        at = next;
    }
    for (std::string_view known : kBinaryNames)
        if (EqualsNoCaseAscii(type, known))
            return true;
    return false;
}

bool IsBinaryValue(const CString& name, const CString& value) {
    if (IsBinaryAttributeName(name.View()))
        return true;
    for (char ch : value.View()) {
        unsigned char byte = static_cast<unsigned char>(ch);
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F)
            return true;
    }
    return !IsValidUtf8(value.View());
}

CString BinaryValueSummary(const CString& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string_view v = value.View();
    std::string text = "(binary, " + CountText(v.size()).Str();
    if (!v.empty()) {
        text += ":";
        for (size_t i = 0; i < v.size() && i < 4; ++i) {
            text += ' ';
            text += kHex[Byte(v, i) >> 4];
            text += kHex[Byte(v, i) & 15];
        }
        if (v.size() > 4)
            text += " \xE2\x80\xA6"; // …
    }
    text += ")";
    return CString(std::move(text));
}

CString DescribeBinaryValue(const CString& name, const CString& value) {
    std::string_view v = value.View();
    CString size = CountText(v.size());
    auto image = [&](const char* pszKind, CSize dims) {
        CString text;
        text.Format("%s image, %u \xC3\x97 %u pixels, %s", pszKind, dims.first, dims.second,
                    size.GetString());
        return text;
    };
    if (auto png = PngSize(v))
        return image("PNG", *png);
    if (auto jpeg = JpegSize(v))
        return image("JPEG", *jpeg);
    if (LooksLikeCertificate(name, v))
        return "X.509 certificate, " + size;
    return "Binary value, " + size;
}
