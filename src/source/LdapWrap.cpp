#include "source/LdapWrap.h"

#include <cstring>
#include <ldap.h>
#include <sys/time.h>

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

CString BuildLdapUrl(const CString& server, int nPort) {
    CString lower = server;
    lower.MakeLower();
    if (lower.Find("ldap://") == 0 || lower.Find("ldaps://") == 0)
        return server;
    CString host = server;
    // A literal IPv6 address goes in brackets inside a URL.
    if (host.Find(':') >= 0 && host.Find('[') != 0)
        host = "[" + host + "]";
    CString url;
    url.Format("ldap://%s:%d", host.GetString(), nPort);
    return url;
}

int LdapMessageId(ldapmsg* pMessage) {
    return pMessage ? ldap_msgid(pMessage) : -1;
}

int LdapResultCode(ldap* ld, ldapmsg* pMessage) {
    int nError = LDAP_SUCCESS;
    int nCode = ldap_parse_result(ld, pMessage, &nError, nullptr, nullptr, nullptr, nullptr, 0);
    return nCode != LDAP_SUCCESS ? nCode : nError;
}

void LdapEntryDNs(ldap* ld, ldapmsg* pMessage, std::vector<CString>& dns) {
    for (LDAPMessage* pEntry = ldap_first_entry(ld, pMessage); pEntry; pEntry = ldap_next_entry(ld, pEntry)) {
        // The DN straight from the message: no copy by the library.
        berval bv{0, nullptr};
        BerElement* pBer = nullptr;
        if (ldap_get_dn_ber(ld, pEntry, &pBer, &bv) == LDAP_SUCCESS)
            dns.emplace_back(std::string_view(bv.bv_val, strnlen(bv.bv_val, bv.bv_len)));
        if (pBer)
            ber_free(pBer, 0);
    }
}

ldapmsg* LdapFirstEntry(ldap* ld, ldapmsg* pMessage) {
    return ldap_first_entry(ld, pMessage);
}

bool LdapNextAttribute(ldap* ld, ldapmsg* pEntry, berelement*& pBer, bool bFirst, CAttribute& attribute) {
    char* pszName = bFirst ? ldap_first_attribute(ld, pEntry, &pBer) : ldap_next_attribute(ld, pEntry, pBer);
    if (!pszName)
        return false;
    attribute.SetName(pszName);
    berval** ppValues = ldap_get_values_len(ld, pEntry, pszName);
    if (ppValues) {
        for (berval** pp = ppValues; *pp; ++pp) {
            // Values are bytes with a length: binary values stay whole.
            const berval* pv = *pp;
            attribute.Add(CString(std::string_view(pv->bv_val, pv->bv_val ? pv->bv_len : 0)));
        }
        ldap_value_free_len(ppValues);
    }
    ldap_memfree(pszName);
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
    nMsgId = -1;
    std::vector<std::string> names;
    for (const CString& name : attributes)
        names.push_back(name.Str());
    std::vector<char*> pointers;
    for (std::string& name : names)
        pointers.push_back(name.data());
    pointers.push_back(nullptr);
    timeval* pNoTimeLimit = nullptr;
    return ldap_search_ext(ld, base.GetString(), nScope, filter.GetString(),
                           names.empty() ? nullptr : pointers.data(), 0, nullptr, nullptr, pNoTimeLimit,
                           nSizeLimit, &nMsgId);
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

int LdapRename(ldap* ld, const CString& dn, const CString& newRdn, int& nMsgId) {
    nMsgId = -1;
    // The old name's value stays in the entry (deleteoldrdn 0).
    return ldap_rename(ld, dn.GetString(), newRdn.GetString(), nullptr, 0, nullptr, nullptr, &nMsgId);
}

int LdapAbandon(ldap* ld, int nMsgId) {
    return ldap_abandon_ext(ld, nMsgId, nullptr, nullptr);
}

int LdapSetNoSizeLimit(ldap* ld) {
    int nLimit = 0;
    return ldap_set_option(ld, LDAP_OPT_SIZELIMIT, &nLimit);
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
