#include "source/PasswordHash.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <string>

namespace {

constexpr size_t kSaltBytes = 8;

struct CScheme {
    const char* pszPrefix;
    gnutls_digest_algorithm_t eDigest;
    size_t nDigestBytes;
};
constexpr CScheme kSchemes[] = {{"{SSHA}", GNUTLS_DIG_SHA1, 20}, {"{SSHA512}", GNUTLS_DIG_SHA512, 64}};

std::string Digest(const CScheme& scheme, const std::string& password, const std::string& salt) {
    const std::string input = password + salt;
    std::string digest(scheme.nDigestBytes, '\0');
    if (gnutls_hash_fast(scheme.eDigest, input.data(), input.size(), digest.data()) != 0)
        return std::string();
    return digest;
}

std::string Base64(const std::string& bytes) {
    gnutls_datum_t in{reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                      static_cast<unsigned>(bytes.size())};
    gnutls_datum_t out{nullptr, 0};
    if (gnutls_base64_encode2(&in, &out) != 0)
        return std::string();
    std::string text(reinterpret_cast<char*>(out.data), out.size);
    gnutls_free(out.data);
    return text;
}

std::string FromBase64(const std::string& text) {
    gnutls_datum_t in{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                      static_cast<unsigned>(text.size())};
    gnutls_datum_t out{nullptr, 0};
    if (gnutls_base64_decode2(&in, &out) != 0)
        return std::string();
    std::string bytes(reinterpret_cast<char*>(out.data), out.size);
    gnutls_free(out.data);
    return bytes;
}

const CScheme* SchemeOf(const CString& value) {
    for (const CScheme& scheme : kSchemes)
        if (value.Left(static_cast<int>(std::char_traits<char>::length(scheme.pszPrefix)))
                .CompareNoCase(scheme.pszPrefix) == 0)
            return &scheme;
    return nullptr;
}

} // namespace

CString MakePasswordValue(EPasswordScheme eScheme, const CString& password) {
    if (eScheme == EPasswordScheme::Clear)
        return password;
    const CScheme& scheme = kSchemes[eScheme == EPasswordScheme::SSHA ? 0 : 1];
    std::string salt(kSaltBytes, '\0');
    if (gnutls_rnd(GNUTLS_RND_NONCE, salt.data(), salt.size()) != 0)
        return CString();
    const std::string digest = Digest(scheme, password.Str(), salt);
    if (digest.empty())
        return CString();
    return CString(scheme.pszPrefix) + CString(Base64(digest + salt));
}

bool PasswordMatches(const CString& value, const CString& password) {
    const CScheme* pScheme = SchemeOf(value);
    if (!pScheme)
        return value == password;
    const std::string bytes =
        FromBase64(value.Mid(static_cast<int>(std::char_traits<char>::length(pScheme->pszPrefix))).Str());
    if (bytes.size() <= pScheme->nDigestBytes)
        return false;
    return Digest(*pScheme, password.Str(), bytes.substr(pScheme->nDigestBytes)) ==
           bytes.substr(0, pScheme->nDigestBytes);
}

CString MaskPasswordValue(const CString& value) {
    const CString dots =
        "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";
    if (value.GetLength() > 1 && value[0] == '{') {
        const int nEnd = value.Find('}');
        if (nEnd > 0)
            return value.Left(nEnd + 1) + " " + dots;
    }
    return dots;
}
