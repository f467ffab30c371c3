#include "source/LdapWrap.h"

#include "model/DnHelper.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstring>
#include <ldap.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <sasl/sasl.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace {

constexpr const char* kSystemCABundle = "/etc/ssl/certs/ca-certificates.crt";
constexpr const char* kSystemCADir = "/etc/ssl/certs";
constexpr const char* kStartTlsOid = "1.3.6.1.4.1.1466.20037";

CString Lower(const CString& text) {
    CString lower = text;
    lower.MakeLower();
    return lower;
}

bool HasScheme(const CString& server, const char* pszScheme) {
    return Lower(server).Find(pszScheme) == 0;
}

struct CSaslDefaults {
    const CString* pUser;
    const CString* pPassword;
};

// Answers the SASL library's questions from what the login page holds; the
// realm and authorisation identity are left to their defaults.
int SaslInteract(LDAP*, unsigned, void* pDefaults, void* pInteract) {
    const auto* pValues = static_cast<const CSaslDefaults*>(pDefaults);
    for (auto* p = static_cast<sasl_interact_t*>(pInteract); p->id != SASL_CB_LIST_END; ++p) {
        const CString* pValue = nullptr;
        if (p->id == SASL_CB_AUTHNAME)
            pValue = pValues->pUser;
        else if (p->id == SASL_CB_PASS)
            pValue = pValues->pPassword;
        p->result = pValue ? pValue->GetString() : (p->defresult ? p->defresult : "");
        p->len = static_cast<unsigned>(std::strlen(static_cast<const char*>(p->result)));
    }
    return LDAP_SUCCESS;
}

int SaslInteractiveBind(LDAP* ld, const CString& mechanism, const CString& user, const CString& password) {
    CSaslDefaults defaults{&user, &password};
    return ldap_sasl_interactive_bind_s(ld, nullptr, mechanism.GetString(), nullptr, nullptr, LDAP_SASL_QUIET,
                                        SaslInteract, &defaults);
}

} // namespace

int CLdapConnection::Initialize(const CString& url, int nTimeoutSeconds) {
    Unbind();
    int nCode = ldap_initialize(&m_ld, url.GetString());
    if (nCode != LDAP_SUCCESS) {
        m_ld = nullptr;
        return nCode;
    }
    // Version 2, the library's default, is refused by current servers.
    int nVersion = LDAP_VERSION3;
    ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
    // A dead host or a silent server must not freeze the window in Open.
    timeval tv{nTimeoutSeconds, 0};
    ldap_set_option(m_ld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
    ldap_set_option(m_ld, LDAP_OPT_TIMEOUT, &tv);
    ldap_set_option(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    return LDAP_SUCCESS;
}

int CLdapConnection::SimpleBind(const CString& dn, const CString& password) {
    berval cred;
    cred.bv_val = const_cast<char*>(password.Str().data());
    cred.bv_len = password.Str().size();
    return ldap_sasl_bind_s(m_ld, dn.IsEmpty() ? nullptr : dn.GetString(), LDAP_SASL_SIMPLE, &cred, nullptr,
                            nullptr, nullptr);
}

int CLdapConnection::SaslBind(const CString& mechanism, const CString& dn, const CString& password) {
    // For EXTERNAL the identity comes from the client certificate or the
    // socket's peer credentials; the SASL library asks for nothing.
    return SaslInteractiveBind(m_ld, mechanism, dn, password);
}

int CLdapConnection::Unbind() {
    if (!m_ld)
        return LDAP_SUCCESS;
    int nCode = ldap_unbind_ext(m_ld, nullptr, nullptr);
    m_ld = nullptr;
    return nCode;
}

int CLdapConnection::Socket() const {
    int fd = -1;
    if (!m_ld || ldap_get_option(m_ld, LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS)
        return -1;
    return fd;
}

void CLdapConnection::LimitWrites(int nMs) {
    const int fd = Socket();
    if (fd < 0)
        return;
    timeval tv{nMs / 1000, (nMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

CLdapMessage& CLdapMessage::operator=(CLdapMessage&& other) noexcept {
    if (this != &other)
        Reset(other.Release());
    return *this;
}

ldapmsg* CLdapMessage::Release() {
    ldapmsg* p = m_p;
    m_p = nullptr;
    return p;
}

void CLdapMessage::Reset(ldapmsg* p) {
    if (m_p)
        ldap_msgfree(m_p);
    m_p = p;
}

BOOL ParseLdapUrl(const CString& text, CString& host, int& nPort, ESecurity& eSecurity, CString& base) {
    LDAPURLDesc* pDesc = nullptr;
    if (ldap_url_parse(text.GetString(), &pDesc) != LDAP_URL_SUCCESS || !pDesc)
        return FALSE;
    const CString scheme = Lower(pDesc->lud_scheme ? pDesc->lud_scheme : "ldap");
    host = pDesc->lud_host ? pDesc->lud_host : "";
    nPort = pDesc->lud_port;
    eSecurity = scheme == "ldaps" ? ESecurity::LDAPS : ESecurity::None;
    base = pDesc->lud_dn ? pDesc->lud_dn : "";
    ldap_free_urldesc(pDesc);
    return TRUE;
}

ESecurity SecurityOfServer(const CString& server, ESecurity eDefault) {
    if (HasScheme(server, "ldaps://"))
        return ESecurity::LDAPS;
    if (HasScheme(server, "ldapi://"))
        return ESecurity::None;
    // A plain ldap:// URL leaves the choice between none and StartTLS.
    if (HasScheme(server, "ldap://") && eDefault == ESecurity::LDAPS)
        return ESecurity::StartTLSIfOffered;
    return eDefault;
}

CString BuildLdapUrl(const CString& server, int nPort, ESecurity eSecurity) {
    if (HasScheme(server, "ldapi://") || HasScheme(server, "ldaps://"))
        return server;
    if (HasScheme(server, "ldap://")) {
        if (eSecurity != ESecurity::LDAPS)
            return server;
        return "ldaps://" + server.Mid(7);
    }
    CString host = server;
    // A literal IPv6 address goes in brackets inside a URL.
    if (host.Find(':') >= 0 && host.Find('[') != 0)
        host = "[" + host + "]";
    CString url;
    url.Format("%s://%s:%d", eSecurity == ESecurity::LDAPS ? "ldaps" : "ldap", host.GetString(), nPort);
    return url;
}

CString HostOfServer(const CString& server) {
    if (HasScheme(server, "ldapi://"))
        return "";
    if (HasScheme(server, "ldap://") || HasScheme(server, "ldaps://")) {
        CString host, base;
        int nPort = 0;
        ESecurity eSecurity = ESecurity::None;
        return ParseLdapUrl(server, host, nPort, eSecurity, base) ? host : CString();
    }
    return server;
}

int PortOfServer(const CString& server, int nPort) {
    CString host, base;
    int nUrlPort = 0;
    ESecurity eSecurity = ESecurity::None;
    if (HasScheme(server, "ldap") && ParseLdapUrl(server, host, nUrlPort, eSecurity, base) && nUrlPort > 0)
        return nUrlPort;
    return nPort;
}

bool IsValidServerText(const CString& server) {
    // A URL: what the library itself can parse.
    if (HasScheme(server, "ldapi://"))
        return server.Find(' ') < 0;
    if (HasScheme(server, "ldap://") || HasScheme(server, "ldaps://")) {
        CString host, base;
        int nPort = 0;
        ESecurity eSecurity = ESecurity::None;
        return server.Find(' ') < 0 && ParseLdapUrl(server, host, nPort, eSecurity, base) && nPort >= 0 &&
               nPort <= 65535 && (host.IsEmpty() || IsValidServerText(host));
    }
    std::string host = server.Str();
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.size() > 253)
        return false;
    in6_addr literal{};
    if (::inet_pton(AF_INET6, host.c_str(), &literal) == 1)
        return true;
    // A host name: labels of letters, digits, '-' and '_' (and the bytes of
    // an international name) between dots.
    size_t nLabel = 0;
    for (size_t i = 0; i < host.size(); ++i) {
        const auto c = static_cast<unsigned char>(host[i]);
        if (c == '.') {
            if (nLabel == 0)
                return false;
            nLabel = 0;
            continue;
        }
        if (!(std::isalnum(c) || c == '-' || c == '_' || c >= 0x80) || ++nLabel > 63)
            return false;
    }
    return nLabel > 0 || host.size() > 1; // one trailing dot names the root
}

std::vector<std::string> ResolveHostAddresses(const std::string& host) {
    std::vector<std::string> addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pList = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &pList) != 0 || !pList)
        return addresses;
    for (const addrinfo* p = pList; p; p = p->ai_next) {
        char buffer[INET6_ADDRSTRLEN] = {};
        if (::getnameinfo(p->ai_addr, p->ai_addrlen, buffer, sizeof buffer, nullptr, 0, NI_NUMERICHOST) == 0)
            addresses.emplace_back(buffer);
    }
    ::freeaddrinfo(pList);
    return addresses;
}

bool IsLoopbackAddress(const std::string& address) {
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6) != 0;
    return false;
}

bool IsLoopbackServer(const CString& server, const CHostResolver& resolve) {
    if (HasScheme(server, "ldapi://"))
        return true;
    std::string host = HostOfServer(server).Str();
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return false;
    // A literal address is its own answer; a name only by every address it
    // stands for ("127.evil.example" may point anywhere).
    in6_addr literal{};
    if (::inet_pton(AF_INET, host.c_str(), &literal) == 1 ||
        ::inet_pton(AF_INET6, host.c_str(), &literal) == 1)
        return IsLoopbackAddress(host);
    const std::vector<std::string> addresses = resolve ? resolve(host) : ResolveHostAddresses(host);
    return !addresses.empty() && std::all_of(addresses.begin(), addresses.end(), IsLoopbackAddress);
}

std::vector<CString> InstalledSaslMechanisms() {
    std::vector<CString> mechanisms;
    char** ppList = nullptr;
    // Read from the library itself: the SASL plugins it found.
    if (ldap_get_option(nullptr, LDAP_OPT_X_SASL_MECHLIST, &ppList) != LDAP_OPT_SUCCESS || !ppList)
        return mechanisms;
    for (char** pp = ppList; *pp; ++pp) {
        if (CString(*pp) != "EXTERNAL")
            mechanisms.emplace_back(*pp);
    }
    return mechanisms;
}

int CLdapConnection::SetTlsOptions(const CTlsSettings& settings) {
    // Options set after the context is made are silently ignored, so every
    // one goes first and NEWCTX last.
    int nRequire = settings.m_bPinOnly ? LDAP_OPT_X_TLS_ALLOW : LDAP_OPT_X_TLS_DEMAND;
    int nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &nRequire);
    if (nCode == LDAP_OPT_SUCCESS && !settings.m_strKeyPin.IsEmpty())
        nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_PEERKEY_HASH, settings.m_strKeyPin.GetString());
    if (nCode != LDAP_OPT_SUCCESS)
        return LDAP_LOCAL_ERROR;

    // Reading the system's CA certificates costs far more than the
    // handshake, so a context made once is shared by every connection with
    // the same trust and client certificate (the key pin and the host name
    // are checked per connection). Cached contexts live as long as the process.
    static std::mutex s_cacheLock;
    // Never destroyed, so that the contexts stay reachable until the very end.
    static auto* s_pContexts = new std::map<std::string, void*>;
    const std::string key = std::to_string(nRequire) + '\n' + settings.m_strCACertFile.Str() + '\n' +
                            settings.m_strClientCertFile.Str() + '\n' + settings.m_strClientKeyFile.Str();
    std::lock_guard<std::mutex> lock(s_cacheLock);
    if (auto it = s_pContexts->find(key); it != s_pContexts->end())
        return ldap_set_option(m_ld, LDAP_OPT_X_TLS_CTX, it->second) == LDAP_OPT_SUCCESS ? LDAP_SUCCESS
                                                                                         : LDAP_LOCAL_ERROR;
    if (!settings.m_strCACertFile.IsEmpty()) {
        nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_CACERTFILE, settings.m_strCACertFile.GetString());
        if (nCode == LDAP_OPT_SUCCESS)
            nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_CACERTDIR, kSystemCADir);
    } else {
        nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_CACERTFILE, kSystemCABundle);
    }
    if (nCode == LDAP_OPT_SUCCESS && !settings.m_strClientCertFile.IsEmpty())
        nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_CERTFILE, settings.m_strClientCertFile.GetString());
    if (nCode == LDAP_OPT_SUCCESS && !settings.m_strClientKeyFile.IsEmpty())
        nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_KEYFILE, settings.m_strClientKeyFile.GetString());
    if (nCode == LDAP_OPT_SUCCESS) {
        int nServer = 0;
        nCode = ldap_set_option(m_ld, LDAP_OPT_X_TLS_NEWCTX, &nServer);
    }
    // A refused option (an unreadable key file, say) is a local error, not silence.
    if (nCode != LDAP_OPT_SUCCESS)
        return LDAP_LOCAL_ERROR;
    // The reference taken here is the cache's own.
    void* pContext = nullptr;
    if (ldap_get_option(m_ld, LDAP_OPT_X_TLS_CTX, &pContext) == LDAP_OPT_SUCCESS && pContext)
        s_pContexts->emplace(key, pContext);
    return LDAP_SUCCESS;
}

int CLdapConnection::StartTls() {
    return ldap_start_tls_s(m_ld, nullptr, nullptr);
}

int CLdapConnection::ConnectNow() {
    return ldap_connect(m_ld);
}

bool CLdapConnection::OffersStartTls() {
    return RootDseLists("supportedExtension", kStartTlsOid);
}

bool CLdapConnection::OffersPagedResults() {
    return RootDseLists("supportedControl", LDAP_CONTROL_PAGEDRESULTS);
}

bool CLdapConnection::RootDseLists(const char* pszAttribute, const char* pszValue) {
    for (const CString& value : RootDseValues(pszAttribute))
        if (value == pszValue)
            return true;
    return false;
}

std::vector<CString> CLdapConnection::EntryValues(const CString& dn, const char* pszAttribute) {
    std::string attribute = pszAttribute;
    char* attrs[] = {attribute.data(), nullptr};
    LDAPMessage* pResult = nullptr;
    timeval tv{10, 0};
    int nCode = ldap_search_ext_s(m_ld, dn.GetString(), LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, nullptr,
                                  nullptr, &tv, 0, &pResult);
    CLdapMessage result(pResult);
    std::vector<CString> values;
    if (nCode != LDAP_SUCCESS)
        return values;
    if (LDAPMessage* pEntry = ldap_first_entry(m_ld, pResult)) {
        if (berval** ppValues = ldap_get_values_len(m_ld, pEntry, attribute.c_str())) {
            for (berval** pp = ppValues; *pp; ++pp)
                values.emplace_back(std::string_view((*pp)->bv_val, (*pp)->bv_len));
            ldap_value_free_len(ppValues);
        }
    }
    return values;
}

CString CLdapConnection::DiagnosticMessage() const {
    char* pszMessage = nullptr;
    if (!m_ld || ldap_get_option(m_ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &pszMessage) != LDAP_OPT_SUCCESS ||
        !pszMessage)
        return "";
    CString message = pszMessage;
    ldap_memfree(pszMessage);
    return message;
}

CTlsSessionInfo CLdapConnection::TlsInfo() const {
    CTlsSessionInfo info;
    if (!m_ld)
        return info;
    // The session itself, not the context: non-NULL only once TLS is up.
    void* pSession = nullptr;
    if (ldap_get_option(m_ld, LDAP_OPT_X_TLS_SSL_CTX, &pSession) != LDAP_OPT_SUCCESS || !pSession)
        return info;
    info.m_bProtected = true;
    char* psz = nullptr;
    if (ldap_get_option(m_ld, LDAP_OPT_X_TLS_VERSION, &psz) == LDAP_OPT_SUCCESS && psz) {
        info.m_strVersion = psz;
        ldap_memfree(psz);
    }
    psz = nullptr;
    if (ldap_get_option(m_ld, LDAP_OPT_X_TLS_CIPHER, &psz) == LDAP_OPT_SUCCESS && psz) {
        info.m_strCipher = psz;
        ldap_memfree(psz);
    }
    berval cert{0, nullptr};
    if (ldap_get_option(m_ld, LDAP_OPT_X_TLS_PEERCERT, &cert) == LDAP_OPT_SUCCESS && cert.bv_val) {
        info.m_strPeerCertificate = CString(std::string_view(cert.bv_val, cert.bv_len));
        ber_memfree(cert.bv_val);
    }
    return info;
}

CString CLdapConnection::WhoAmI() {
    berval* pIdentity = nullptr;
    if (ldap_whoami_s(m_ld, &pIdentity, nullptr, nullptr) != LDAP_SUCCESS || !pIdentity)
        return "";
    CString identity(std::string_view(pIdentity->bv_val ? pIdentity->bv_val : "", pIdentity->bv_len));
    ber_bvfree(pIdentity);
    return identity;
}

int LdapMessageId(ldapmsg* pMessage) {
    return pMessage ? ldap_msgid(pMessage) : -1;
}

int LdapResultCode(ldap* ld, ldapmsg* pMessage, CString* pDiagnostic, CString* pMatchedDN) {
    int nError = LDAP_SUCCESS;
    char* pszMatched = nullptr;
    char* pszDiagnostic = nullptr;
    int nCode = ldap_parse_result(ld, pMessage, &nError, pMatchedDN ? &pszMatched : nullptr,
                                  pDiagnostic ? &pszDiagnostic : nullptr, nullptr, nullptr, 0);
    if (pMatchedDN)
        *pMatchedDN = pszMatched ? CString(pszMatched) : CString();
    if (pDiagnostic)
        *pDiagnostic = pszDiagnostic ? CString(pszDiagnostic) : CString();
    ldap_memfree(pszMatched);
    ldap_memfree(pszDiagnostic);
    return nCode != LDAP_SUCCESS ? nCode : nError;
}

void LdapEntryDNs(ldap* ld, ldapmsg* pMessage, std::vector<CString>& dns, std::vector<bool>* pLeaves,
                  std::vector<bool>* pReferrals) {
    auto is = [](const berval& name, std::string_view wanted) {
        return name.bv_len == wanted.size() && strncasecmp(name.bv_val, wanted.data(), wanted.size()) == 0;
    };
    for (LDAPMessage* pEntry = ldap_first_entry(ld, pMessage); pEntry; pEntry = ldap_next_entry(ld, pEntry)) {
        // The DN straight from the message: no copy by the library, and
        // whole, by its length (a NUL inside must not cut it).
        berval bv{0, nullptr};
        BerElement* pBer = nullptr;
        if (ldap_get_dn_ber(ld, pEntry, &pBer, &bv) != LDAP_SUCCESS) {
            if (pBer)
                ber_free(pBer, 0);
            continue;
        }
        dns.emplace_back(std::string_view(bv.bv_val ? bv.bv_val : "", bv.bv_len));
        if (pLeaves || pReferrals) {
            // The attributes follow the DN in the same element.
            bool bLeaf = false;
            bool bReferral = false;
            berval name{0, nullptr};
            berval* pValues = nullptr;
            while (ldap_get_attribute_ber(ld, pEntry, pBer, &name, &pValues) == LDAP_SUCCESS && name.bv_val) {
                if (is(name, "hasSubordinates") && pValues && pValues[0].bv_val)
                    bLeaf = pValues[0].bv_len == 5 && strncasecmp(pValues[0].bv_val, "FALSE", 5) == 0;
                else if (is(name, "ref"))
                    bReferral = true;
                ber_memfree(pValues);
                pValues = nullptr;
            }
            if (pLeaves)
                pLeaves->push_back(bLeaf && !bReferral);
            if (pReferrals)
                pReferrals->push_back(bReferral);
        }
        if (pBer)
            ber_free(pBer, 0);
    }
}

std::vector<CString> LdapReferenceUrls(ldap* ld, ldapmsg* pMessage) {
    std::vector<CString> urls;
    char** ppUrls = nullptr;
    if (ldap_parse_reference(ld, pMessage, &ppUrls, nullptr, 0) == LDAP_SUCCESS && ppUrls) {
        for (char** pp = ppUrls; *pp; ++pp)
            urls.emplace_back(*pp);
    }
    if (ppUrls)
        ber_memvfree(reinterpret_cast<void**>(ppUrls));
    return urls;
}

ldapmsg* LdapFirstEntry(ldap* ld, ldapmsg* pMessage) {
    return ldap_first_entry(ld, pMessage);
}

bool LdapNextAttribute(ldap* ld, ldapmsg* pEntry, berelement*& pBer, bool bFirst, CAttribute& attribute) {
    if (bFirst) {
        // Past the DN; then each attribute is read where it stands, by its
        // length, so a NUL in a name cuts nothing and no attribute is
        // looked up by name again (that made large entries quadratic).
        berval dn{0, nullptr};
        if (ldap_get_dn_ber(ld, pEntry, &pBer, &dn) != LDAP_SUCCESS)
            return false;
    }
    if (!pBer)
        return false;
    berval name{0, nullptr};
    berval* pValues = nullptr;
    if (ldap_get_attribute_ber(ld, pEntry, pBer, &name, &pValues) != LDAP_SUCCESS || !name.bv_val) {
        ber_memfree(pValues);
        return false;
    }
    attribute.SetName(CString(std::string_view(name.bv_val, name.bv_len)));
    if (pValues) {
        // Values are bytes with a length: binary values stay whole.
        for (berval* pv = pValues; pv->bv_val; ++pv)
            attribute.Add(CString(std::string_view(pv->bv_val, pv->bv_len)));
        ber_memfree(pValues);
    }
    return true;
}

void LdapFreeBer(berelement* pBer) {
    if (pBer)
        ber_free(pBer, 0);
}

struct CLdapMods::CMod {
    LDAPMod mod{};
    std::string type;
    std::vector<std::string> values;
    std::vector<berval> bervals;
    std::vector<berval*> pointers;
};

CLdapMods::CLdapMods() = default;
CLdapMods::~CLdapMods() = default;

void CLdapMods::Append(EOp op, const CString& name, const CStringArray& values) {
    auto pMod = std::make_unique<CMod>();
    pMod->type = name.Str();
    for (const CString& value : values)
        pMod->values.push_back(value.Str());
    // Sent with their lengths, so that a value holding a zero byte goes whole.
    pMod->bervals.reserve(pMod->values.size());
    for (std::string& value : pMod->values)
        pMod->bervals.push_back(berval{static_cast<ber_len_t>(value.size()), value.data()});
    for (berval& bv : pMod->bervals)
        pMod->pointers.push_back(&bv);
    pMod->pointers.push_back(nullptr);
    pMod->mod.mod_op = LDAP_MOD_BVALUES | (op == Add      ? LDAP_MOD_ADD
                                           : op == Delete ? LDAP_MOD_DELETE
                                                          : LDAP_MOD_REPLACE);
    pMod->mod.mod_type = pMod->type.data();
    // No values for a delete means the whole attribute.
    pMod->mod.mod_bvalues = pMod->values.empty() && op == Delete ? nullptr : pMod->pointers.data();
    m_mods.push_back(std::move(pMod));
}

ldapmod** CLdapMods::Get() {
    m_pointers.clear();
    for (auto& pMod : m_mods)
        m_pointers.push_back(&pMod->mod);
    m_pointers.push_back(nullptr);
    return m_pointers.data();
}

int LdapSearch(ldap* ld, const CString& base, int nScope, const CString& filter, bool bAttrsOnly,
               int& nMsgId) {
    nMsgId = -1;
    // Size limit 0: no limit from this side.
    return ldap_search_ext(ld, base.GetString(), nScope, filter.GetString(), nullptr, bAttrsOnly ? 1 : 0,
                           nullptr, nullptr, nullptr, 0, &nMsgId);
}

int LdapSearchAttributes(ldap* ld, const CString& base, int nScope, const CString& filter,
                         const CStringArray& attributes, int nSizeLimit, int& nMsgId) {
    CLdapSearchArgs args;
    args.strBase = base;
    args.nScope = nScope;
    args.strFilter = filter;
    args.attributes = attributes;
    args.nSizeLimit = nSizeLimit;
    return LdapSearchPage(ld, args, nMsgId);
}

int LdapSearchPage(ldap* ld, const CLdapSearchArgs& args, int& nMsgId) {
    nMsgId = -1;
    std::vector<std::string> names;
    for (const CString& name : args.attributes)
        names.push_back(name.Str());
    std::vector<char*> pointers;
    for (std::string& name : names)
        pointers.push_back(name.data());
    pointers.push_back(nullptr);
    LDAPControl* pPage = nullptr;
    if (args.bPaged) {
        berval cookie{static_cast<ber_len_t>(args.cookie.size()), const_cast<char*>(args.cookie.data())};
        // Not critical: a server that cannot page still answers the search.
        int nCode = ldap_create_page_control(ld, static_cast<ber_int_t>(args.nPageSize),
                                             args.cookie.empty() ? nullptr : &cookie, 0, &pPage);
        if (nCode != LDAP_SUCCESS)
            return nCode;
    }
    // Referral objects as the entries they are, not as referrals to follow.
    LDAPControl manageDsaIT{const_cast<char*>(LDAP_CONTROL_MANAGEDSAIT), berval{0, nullptr}, 0};
    LDAPControl* controls[3] = {nullptr, nullptr, nullptr};
    int nControls = 0;
    if (pPage)
        controls[nControls++] = pPage;
    if (args.bManageDsaIT)
        controls[nControls++] = &manageDsaIT;
    timeval* pNoTimeLimit = nullptr;
    int nCode =
        ldap_search_ext(ld, args.strBase.GetString(), args.nScope, args.strFilter.GetString(),
                        names.empty() ? nullptr : pointers.data(), args.bAttrsOnly ? 1 : 0,
                        nControls ? controls : nullptr, nullptr, pNoTimeLimit, args.nSizeLimit, &nMsgId);
    if (pPage)
        ldap_control_free(pPage);
    return nCode;
}

std::string LdapPageCookie(ldap* ld, ldapmsg* pResult) {
    LDAPControl** ppControls = nullptr;
    int nError = LDAP_SUCCESS;
    if (ldap_parse_result(ld, pResult, &nError, nullptr, nullptr, nullptr, &ppControls, 0) != LDAP_SUCCESS)
        return std::string();
    std::string cookie;
    if (LDAPControl* pControl = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, ppControls, nullptr)) {
        ber_int_t nEstimate = 0;
        berval value{0, nullptr};
        if (ldap_parse_pageresponse_control(ld, pControl, &nEstimate, &value) == LDAP_SUCCESS) {
            cookie.assign(value.bv_val ? value.bv_val : "", value.bv_len);
            ber_memfree(value.bv_val);
        }
    }
    ldap_controls_free(ppControls);
    return cookie;
}

ldapmsg* LdapNextEntry(ldap* ld, ldapmsg* pEntry) {
    return ldap_next_entry(ld, pEntry);
}

CString LdapEntryDN(ldap* ld, ldapmsg* pEntry) {
    berval bv{0, nullptr};
    BerElement* pBer = nullptr;
    CString dn;
    if (ldap_get_dn_ber(ld, pEntry, &pBer, &bv) == LDAP_SUCCESS)
        dn = CString(std::string_view(bv.bv_val, bv.bv_len));
    if (pBer)
        ber_free(pBer, 0);
    return dn;
}

int LdapAdd(ldap* ld, const CString& dn, CLdapMods& mods, int& nMsgId) {
    nMsgId = -1;
    return ldap_add_ext(ld, dn.GetString(), mods.Get(), nullptr, nullptr, &nMsgId);
}

int LdapDelete(ldap* ld, const CString& dn, int& nMsgId) {
    nMsgId = -1;
    return ldap_delete_ext(ld, dn.GetString(), nullptr, nullptr, &nMsgId);
}

int LdapModify(ldap* ld, const CString& dn, CLdapMods& mods, int& nMsgId) {
    nMsgId = -1;
    return ldap_modify_ext(ld, dn.GetString(), mods.Get(), nullptr, nullptr, &nMsgId);
}

int LdapRename(ldap* ld, const CString& dn, const CString& newRdn, bool bDeleteOldRdn, int& nMsgId) {
    return LdapModDn(ld, dn, newRdn, CString(), bDeleteOldRdn, nMsgId);
}

int LdapModDn(ldap* ld, const CString& dn, const CString& newRdn, const CString& newSuperior,
              bool bDeleteOldRdn, int& nMsgId) {
    nMsgId = -1;
    return ldap_rename(ld, dn.GetString(), newRdn.GetString(),
                       newSuperior.IsEmpty() ? nullptr : newSuperior.GetString(), bDeleteOldRdn ? 1 : 0,
                       nullptr, nullptr, &nMsgId);
}

int LdapMove(ldap* ld, const CString& dn, const CString& newSuperior, int& nMsgId) {
    return LdapModDn(ld, dn, DnFirstRdn(dn), newSuperior, false, nMsgId);
}

int LdapPasswordModify(ldap* ld, const CString& dn, const CString& newPassword, int& nMsgId) {
    nMsgId = -1;
    berval user{static_cast<ber_len_t>(dn.GetLength()), const_cast<char*>(dn.Str().data())};
    berval password{static_cast<ber_len_t>(newPassword.GetLength()),
                    const_cast<char*>(newPassword.Str().data())};
    return ldap_passwd(ld, &user, nullptr, &password, nullptr, nullptr, &nMsgId);
}

int LdapAbandon(ldap* ld, int nMsgId) {
    return ldap_abandon_ext(ld, nMsgId, nullptr, nullptr);
}

bool LdapSendUnfinished(ldap* ld) {
    // The library says "busy" on a request it sent only in part, and
    // success on one it sent whole.
    int nCode = LDAP_SUCCESS;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &nCode);
    return nCode == LDAP_BUSY;
}

int LdapSetNoSizeLimit(ldap* ld) {
    int nLimit = 0;
    return ldap_set_option(ld, LDAP_OPT_SIZELIMIT, &nLimit);
}

bool LdapReadLostConnection(ldap* ld) {
    // The library may keep the dead socket's number until the connection
    // is freed; the failed read's own code says it first.
    int nCode = LDAP_SUCCESS;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &nCode);
    int fd = -1;
    return nCode == LDAP_SERVER_DOWN || nCode == LDAP_CONNECT_ERROR ||
           ldap_get_option(ld, LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0;
}

int LdapReadResult(ldap* ld, int nMsgId, int nTimeoutMs, CLdapMessage& message) {
    timeval tv{nTimeoutMs / 1000, (nTimeoutMs % 1000) * 1000};
    LDAPMessage* pMessage = nullptr;
    int nType = ldap_result(ld, nMsgId, LDAP_MSG_ONE, &tv, &pMessage);
    message.Reset(pMessage);
    if (nType <= 0)
        message.Reset();
    return nType;
}
