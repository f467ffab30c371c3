#pragma once
// The client library, wrapped: owners for its handles and the few calls the
// LDAP source makes, so that nothing else includes <ldap.h>.

#include "model/Attribute.h"
#include "platform/String.h"

#include <memory>
#include <vector>

struct ldap;
struct ldapmsg;
struct berelement;
struct ldapmod;

// Result types of the client library that the workers look at.
constexpr int LDAP_RESULT_SEARCH_ENTRY = 0x64;
constexpr int LDAP_RESULT_SEARCH_RESULT = 0x65;
constexpr int LDAP_RESULT_SEARCH_REFERENCE = 0x73;

// Owns one connection handle; unbinds on destruction.
class CLdapConnection {
public:
    CLdapConnection() = default;
    ~CLdapConnection() { Unbind(); }
    CLdapConnection(const CLdapConnection&) = delete;
    CLdapConnection& operator=(const CLdapConnection&) = delete;

    // Creates the handle for the URL (no network traffic yet) and sets
    // protocol version 3 and the network and operation time-outs.
    // Returns an LDAP result code.
    int Initialize(const CString& url, int nTimeoutSeconds);
    // Simple bind; an empty DN and password bind anonymously. The code of the bind.
    int SimpleBind(const CString& dn, const CString& password);
    // Ends the connection; the code of the unbind. The handle is gone afterwards
    // whatever the code (the library frees it in every case).
    int Unbind();

    ldap* Get() const { return m_ld; }
    explicit operator bool() const { return m_ld != nullptr; }
    // The socket under the connection, or -1.
    int Socket() const;

private:
    ldap* m_ld = nullptr;
};

// Owns one result message (a chain of one, as the workers read them).
class CLdapMessage {
public:
    CLdapMessage() = default;
    explicit CLdapMessage(ldapmsg* p) : m_p(p) {}
    ~CLdapMessage() { Reset(); }
    CLdapMessage(CLdapMessage&& other) noexcept : m_p(other.Release()) {}
    CLdapMessage& operator=(CLdapMessage&& other) noexcept;
    CLdapMessage(const CLdapMessage&) = delete;
    CLdapMessage& operator=(const CLdapMessage&) = delete;

    ldapmsg* Get() const { return m_p; }
    ldapmsg* Release();
    void Reset(ldapmsg* p = nullptr);
    explicit operator bool() const { return m_p != nullptr; }

private:
    ldapmsg* m_p = nullptr;
};

// The URL for a server as typed: an ldap:// or ldaps:// URL is taken as it
// is, anything else is a host name or address with the port.
CString BuildLdapUrl(const CString& server, int nPort);

// ldap_msgid of a message; -1 for none.
int LdapMessageId(ldapmsg* pMessage);

// The code of an operation's result message (ldap_parse_result); the
// message stays owned by the caller. A result that cannot be parsed gives
// the parse failure's code.
int LdapResultCode(ldap* ld, ldapmsg* pMessage);

// DNs of the entries of a search message, in order.
void LdapEntryDNs(ldap* ld, ldapmsg* pMessage, std::vector<CString>& dns);

// The attributes of the first entry of a search message, in the server's
// order, each with its values whole (bytes with their length); an attribute
// without values comes with its name only. Calls fnEach for every attribute
// read (it may stop the walk by returning false).
template <class Fn> void LdapForEachAttribute(ldap* ld, ldapmsg* pMessage, Fn fnEach);
bool LdapNextAttribute(ldap* ld, ldapmsg* pEntry, berelement*& pBer, bool bFirst, CAttribute& attribute);
ldapmsg* LdapFirstEntry(ldap* ld, ldapmsg* pMessage);
void LdapFreeBer(berelement* pBer);

template <class Fn> void LdapForEachAttribute(ldap* ld, ldapmsg* pMessage, Fn fnEach) {
    ldapmsg* pEntry = LdapFirstEntry(ld, pMessage);
    if (!pEntry)
        return;
    berelement* pBer = nullptr;
    bool bFirst = true;
    for (;;) {
        CAttribute attribute;
        if (!LdapNextAttribute(ld, pEntry, pBer, bFirst, attribute))
            break;
        bFirst = false;
        if (!fnEach(attribute))
            break;
    }
    LdapFreeBer(pBer);
}

// Modification records for ldap_add/ldap_modify, built from attributes and
// freed with the object.
class CLdapMods {
public:
    CLdapMods();
    ~CLdapMods();
    CLdapMods(const CLdapMods&) = delete;
    CLdapMods& operator=(const CLdapMods&) = delete;

    enum EOp { Add = 0, Delete = 1, Replace = 2 };
    // values may be empty (for Delete: the whole attribute).
    void Append(EOp op, const CString& name, const CStringArray& values);
    int GetCount() const { return static_cast<int>(m_mods.size()); }
    // NULL-ended array for the library.
    ldapmod** Get();

private:
    struct CMod;
    std::vector<std::unique_ptr<CMod>> m_mods;
    std::vector<ldapmod*> m_pointers;
};

// Asynchronous requests; each returns an LDAP code and sets nMsgId.
int LdapSearch(ldap* ld, const CString& base, int nScope, const CString& filter, bool bAttrsOnly,
               int& nMsgId);
// A search with an attribute list (empty: all user attributes) and a size
// limit (0: none from this side).
int LdapSearchAttributes(ldap* ld, const CString& base, int nScope, const CString& filter,
                         const CStringArray& attributes, int nSizeLimit, int& nMsgId);
// The DN and attributes of every entry of a search message, in order.
template <class Fn> void LdapForEachEntry(ldap* ld, ldapmsg* pMessage, Fn fnEach);
ldapmsg* LdapNextEntry(ldap* ld, ldapmsg* pEntry);
CString LdapEntryDN(ldap* ld, ldapmsg* pEntry);
int LdapAdd(ldap* ld, const CString& dn, CLdapMods& mods, int& nMsgId);
int LdapDelete(ldap* ld, const CString& dn, int& nMsgId);
int LdapModify(ldap* ld, const CString& dn, CLdapMods& mods, int& nMsgId);
int LdapRename(ldap* ld, const CString& dn, const CString& newRdn, int& nMsgId);
int LdapAbandon(ldap* ld, int nMsgId);
int LdapSetNoSizeLimit(ldap* ld);

// One result message of any request (LDAP_MSG_ONE). nTimeoutMs 0 polls.
// Returns the library's type: a result type, 0 for none, -1 for failure.
int LdapReadResult(ldap* ld, int nMsgId, int nTimeoutMs, CLdapMessage& message);

constexpr int LDAP_SCOPE_BASE_LEVEL = 0;
constexpr int LDAP_SCOPE_ONE_LEVEL = 1;

template <class Fn> void LdapForEachEntry(ldap* ld, ldapmsg* pMessage, Fn fnEach) {
    for (ldapmsg* pEntry = LdapFirstEntry(ld, pMessage); pEntry; pEntry = LdapNextEntry(ld, pEntry)) {
        std::vector<CAttribute> attributes;
        berelement* pBer = nullptr;
        for (bool bFirst = true;; bFirst = false) {
            CAttribute attribute;
            if (!LdapNextAttribute(ld, pEntry, pBer, bFirst, attribute))
                break;
            attributes.push_back(std::move(attribute));
        }
        LdapFreeBer(pBer);
        fnEach(LdapEntryDN(ld, pEntry), std::move(attributes));
    }
}
