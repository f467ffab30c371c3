#pragma once
// Values that are not text: which ones, and how to name them to a user.
// The bytes themselves are never changed; this only decides how they are
// shown.

#include "platform/String.h"

#include <string_view>

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Attributes whose values are binary by their type (jpegPhoto,
// userCertificate, objectGUID, ...) and any name with the ;binary option.
bool IsBinaryAttributeName(std::string_view name);

// Shown as a summary rather than as text: a binary attribute, or a value
// that is not UTF-8 text or holds control bytes other than tab and line
// breaks.
bool IsBinaryValue(const CString& name, const CString& value);

// "(binary, 10 bytes: FF D8 FF E0 …)".
CString BinaryValueSummary(const CString& value);

// What the bytes look like, for a tooltip: "JPEG image, 640 × 480 pixels,
// 10,240 bytes", "X.509 certificate, 912 bytes", or "Binary value, 10 bytes".
CString DescribeBinaryValue(const CString& name, const CString& value);
