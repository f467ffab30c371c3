#pragma once
// The client library, wrapped: owners for its handles and the few calls the
// LDAP source makes, so that nothing else includes <ldap.h>.

#include "model/Attribute.h"
#include "platform/String.h"
#include "source/ConnectionParams.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct ldap;
struct ldapmsg;
struct berelement;
struct ldapmod;

// Result types of the client library that the workers look at.
constexpr int LDAP_RESULT_SEARCH_ENTRY = 0x64;
constexpr int LDAP_RESULT_SEARCH_RESULT = 0x65;
constexpr int LDAP_RESULT_SEARCH_REFERENCE = 0x73;

// The TLS settings of one handle; all of them go on the handle before its
// TLS context is made.
class CTlsSettings {
public:
    // Only the key pin decides (the chain and name are not checked): the
    // user has judged this server's certificate.
    bool m_bPinOnly = false;
    CString m_strKeyPin;
    CString m_strCACertFile; // besides the system bundle
    CString m_strClientCertFile;
    CString m_strClientKeyFile;
};

// What a protected connection runs on, for the user to see.
class CTlsSessionInfo {
public:
    bool m_bProtected = false;
    CString m_strVersion;
    CString m_strCipher;
    CString m_strPeerCertificate; // DER bytes
};

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
    // SASL bind: EXTERNAL with no credentials, any other mechanism through
    // the SASL library with dn as the user name.
    int SaslBind(const CString& mechanism, const CString& dn, const CString& password);

    // Before StartTls/ConnectTls: every TLS option, then a new TLS context.
    int SetTlsOptions(const CTlsSettings& settings);
    int StartTls();
    // Opens the connection now (for ldaps:// the handshake happens here).
    int ConnectNow();
    // The root DSE lists the StartTLS extended operation (anonymous read).
    bool OffersStartTls();
    // The root DSE lists the paged-results control.
    bool OffersPagedResults();
    // The values of one attribute of the root DSE; empty when it cannot be read.
    std::vector<CString> RootDseValues(const char* pszAttribute) { return EntryValues("", pszAttribute); }
    // The values of one attribute of the entry at dn; none when it cannot be read.
    std::vector<CString> EntryValues(const CString& dn, const char* pszAttribute);
    // The library's diagnostic message of the last failure; may be empty.
    CString DiagnosticMessage() const;
    CTlsSessionInfo TlsInfo() const;
    // The identity the server sees (ldap_whoami), "" for anonymous.
    CString WhoAmI();
    // Ends the connection; the code of the unbind. The handle is gone afterwards
    // whatever the code (the library frees it in every case).
    int Unbind();

    // Exchanges the handles (a reconnect puts a new one in place).
    void Swap(CLdapConnection& other) { std::swap(m_ld, other.m_ld); }
    ldap* Get() const { return m_ld; }
    explicit operator bool() const { return m_ld != nullptr; }
    // The socket under the connection, or -1.
    int Socket() const;
    // A write to a server that stopped reading gives up after nMs and the
    // library finishes it later, so no thread holds the handle for long.
    void LimitWrites(int nMs);

private:
    // One of the root DSE's values of pszAttribute is pszValue.
    bool RootDseLists(const char* pszAttribute, const char* pszValue);

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

// The parts of an ldap://, ldaps:// or ldapi:// URL; FALSE when text is not
// one. The port is 0 when the URL names none; an ldapi:// URL gives its
// socket path as host.
BOOL ParseLdapUrl(const CString& text, CString& host, int& nPort, ESecurity& eSecurity, CString& base);

// The security an ldaps:// or ldap:// server text asks for, or eDefault.
ESecurity SecurityOfServer(const CString& server, ESecurity eDefault);
// The URL to connect with: a typed URL keeps its host, port and scheme
// (ldaps:// wins over eSecurity); ldapi:// is taken as it is.
CString BuildLdapUrl(const CString& server, int nPort, ESecurity eSecurity = ESecurity::None);
// The host of a server text (a URL's host, an ldapi:// socket as "").
CString HostOfServer(const CString& server);
// The port a server text names in its URL, else nPort.
int PortOfServer(const CString& server, int nPort);
// Whether a typed server can name a server at all: a host name, an IPv4 or
// IPv6 address, or an ldap://, ldaps:// or ldapi:// URL; never blanks.
bool IsValidServerText(const CString& server);
// The numeric addresses a host name stands for (getaddrinfo); none when it
// does not resolve.
using CHostResolver = std::function<std::vector<std::string>(const std::string& host)>;
std::vector<std::string> ResolveHostAddresses(const std::string& host);
// An address in 127.0.0.0/8 or ::1.
bool IsLoopbackAddress(const std::string& address);
// The server is this machine: an ldapi:// socket, or a host whose every
// address is a loopback address (resolved by resolve, or the system's
// resolver when it is empty). A name that does not resolve is not local.
bool IsLoopbackServer(const CString& server, const CHostResolver& resolve = {});

// The SASL mechanisms the installed SASL library can speak as a client,
// EXTERNAL left out (it needs no plugin and is offered on its own).
std::vector<CString> InstalledSaslMechanisms();

// ldap_msgid of a message; -1 for none.
int LdapMessageId(ldapmsg* pMessage);

// The code of an operation's result message (ldap_parse_result); the
// message stays owned by the caller. A result that cannot be parsed gives
// the parse failure's code. The server's diagnostic message and matched DN
// go where asked for.
int LdapResultCode(ldap* ld, ldapmsg* pMessage, CString* pDiagnostic = nullptr,
                   CString* pMatchedDN = nullptr);

// DNs of the entries of a search message, in order, whole. With pLeaves:
// for each, whether the server says it has no subordinates (hasSubordinates
// FALSE); with pReferrals, whether it is a referral object (it has "ref").
void LdapEntryDNs(ldap* ld, ldapmsg* pMessage, std::vector<CString>& dns,
                  std::vector<bool>* pLeaves = nullptr, std::vector<bool>* pReferrals = nullptr);
// The URLs of a search result reference.
std::vector<CString> LdapReferenceUrls(ldap* ld, ldapmsg* pMessage);

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
// What one search asks for; with bPaged it is one page of a paged search (a non-critical paged-results
// control with the cookie of the page before, empty for the first).
struct CLdapSearchArgs {
    CString strBase;
    int nScope = 0;
    CString strFilter;
    CStringArray attributes; // empty: all user attributes
    bool bAttrsOnly = false;
    int nSizeLimit = 0;
    bool bPaged = false;
    int nPageSize = 0; // 0 with a cookie: the server may let the search go
    std::string cookie;
    // Referral objects come back as entries (RFC 3296), not as references.
    bool bManageDsaIT = false;
};
int LdapSearchPage(ldap* ld, const CLdapSearchArgs& args, int& nMsgId);
// The cookie of a final result's paged-results control: empty when the
// server sent the last page (or no control at all).
std::string LdapPageCookie(ldap* ld, ldapmsg* pResult);
// The DN and attributes of every entry of a search message, in order.
template <class Fn> void LdapForEachEntry(ldap* ld, ldapmsg* pMessage, Fn fnEach);
ldapmsg* LdapNextEntry(ldap* ld, ldapmsg* pEntry);
CString LdapEntryDN(ldap* ld, ldapmsg* pEntry);
int LdapAdd(ldap* ld, const CString& dn, CLdapMods& mods, int& nMsgId);
int LdapDelete(ldap* ld, const CString& dn, int& nMsgId);
int LdapModify(ldap* ld, const CString& dn, CLdapMods& mods, int& nMsgId);
int LdapRename(ldap* ld, const CString& dn, const CString& newRdn, bool bDeleteOldRdn, int& nMsgId);
// A rename that may also move the entry under newSuperior (empty: it stays
// under its parent).
int LdapModDn(ldap* ld, const CString& dn, const CString& newRdn, const CString& newSuperior,
              bool bDeleteOldRdn, int& nMsgId);
// A ModDN that keeps the RDN and gives the entry (and everything below it)
// the new superior.
int LdapMove(ldap* ld, const CString& dn, const CString& newSuperior, int& nMsgId);
int LdapAbandon(ldap* ld, int nMsgId);
// Right after a request was sent: the library still holds part of it (the
// server did not take it all) and writes the rest later. Until then any
// other write on the socket would land inside it.
bool LdapSendUnfinished(ldap* ld);
// The Password Modify extended operation (RFC 3062) for dn: the server sets
// and hashes newPassword itself.
int LdapPasswordModify(ldap* ld, const CString& dn, const CString& newPassword, int& nMsgId);
int LdapSetNoSizeLimit(ldap* ld);

// One result message of any request (LDAP_MSG_ONE). nTimeoutMs 0 polls.
// Returns the library's type: a result type, 0 for none, -1 for failure.
int LdapReadResult(ldap* ld, int nMsgId, int nTimeoutMs, CLdapMessage& message);
// After a failed read: whether the connection itself is gone (the server
// closed it or died), not only this read.
bool LdapReadLostConnection(ldap* ld);

constexpr int LDAP_SCOPE_BASE_LEVEL = 0;
constexpr int LDAP_SCOPE_ONE_LEVEL = 1;

template <class Fn> void LdapForEachEntry(ldap* ld, ldapmsg* pMessage, Fn fnEach) {
    for (ldapmsg* pEntry = LdapFirstEntry(ld, pMessage); pEntry; pEntry = LdapNextEntry(ld, pEntry)) {
        std::vector<CAttribute> attributes;
        attributes.reserve(8);
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
