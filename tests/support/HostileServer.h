#pragma once
// A small LDAP server of the tests' own on a loopback port, for what slapd
// will never do: it answers a bind, the root DSE and the base search of an
// Open like any server, and then answers searches and modifies as the test
// says (a paging cookie that never ends, odd result codes, entries outside
// the searched base, NUL bytes, referrals) or stops reading altogether.
// Requests are decoded and replies encoded with liblber.

#include "source/ConnectionParams.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Protocol tags of the requests the server tells apart.
constexpr int kLdapBindRequest = 0x60;
constexpr int kLdapSearchRequest = 0x63;
constexpr int kLdapModifyRequest = 0x66;
constexpr int kLdapAbandonRequest = 0x50;
constexpr int kLdapExtendedRequest = 0x77;

struct CHostileAttribute {
    std::string name;
    std::vector<std::string> values;
};

struct CHostileRequest {
    int nMsgId = 0;
    int nOp = 0;      // the protocol tag of the request
    std::string base; // a search's base or a modify's DN, bytes as sent
    int nScope = 0;
    std::vector<std::string> attributes;
    bool bPaged = false;
    int nPageSize = 0;
    std::string cookie;
    bool bManageDsaIT = false;
    int nAbandoned = -1;                    // an abandon's message id
    std::vector<CHostileAttribute> changes; // a modify's, values as sent
};

// The answers to one request, written at once in the order given.
class CHostileReply {
public:
    CHostileReply(int fd, int nMsgId, int nOp, const std::atomic<int>& nByteDelayMs)
        : m_fd(fd), m_nMsgId(nMsgId), m_nOp(nOp), m_nByteDelayMs(nByteDelayMs) {}

    void Entry(const std::string& dn, const std::vector<CHostileAttribute>& attributes = {});
    void Reference(const std::vector<std::string>& urls);
    // The final result of a search; with pCookie, a paged-results control
    // that carries it (empty: the last page).
    void SearchDone(int nCode, const std::string& diagnostic = "", const std::string* pCookie = nullptr);
    // The result of any other request, with the response tag that fits it.
    void Result(int nCode, const std::string& diagnostic = "");
    // The request is never answered (the usual answer is not sent either).
    void NoAnswer() { m_bSent = true; }
    bool Sent() const { return m_bSent; }
    // The first half of an entry, and then the connection is reset.
    void ResetMidEntry(const std::string& dn, const std::vector<CHostileAttribute>& attributes = {});
    bool ResetWanted() const { return m_bReset; }

private:
    void Write(const std::string& bytes);
    std::string EncodeEntry(const std::string& dn, const std::vector<CHostileAttribute>& attributes) const;

    int m_fd;
    int m_nMsgId;
    int m_nOp;
    const std::atomic<int>& m_nByteDelayMs;
    bool m_bSent = false;
    bool m_bReset = false;
};

class CHostileServer {
public:
    // Called for every request but a bind, an unbind, an abandon, the root
    // DSE's search and the base search of the search base; a handler that
    // sends nothing leaves the request to the usual answer (a one-level
    // search finds nothing, a base search finds an entry of that DN, a
    // modify succeeds).
    using CHandler = std::function<void(const CHostileRequest&, CHostileReply&)>;

    CHostileServer();
    ~CHostileServer();
    CHostileServer(const CHostileServer&) = delete;
    CHostileServer& operator=(const CHostileServer&) = delete;

    // Listens on a free port of 127.0.0.1; FALSE when it cannot.
    bool Start();
    int Port() const { return m_nPort; }
    static std::string Base() { return "dc=example,dc=com"; }
    // An anonymous login on the server at Base().
    CConnectionParams Params() const;

    void SetHandler(CHandler handler);
    // From now on no byte of any connection is read (the server hangs as a
    // stopped process does, its socket still open); false reads again.
    void StopReading(bool bStop) { m_bStopReading = bStop; }
    // Before Start: another attribute of the root DSE (subschemaSubentry...).
    void AddRootDseAttribute(const CHostileAttribute& attribute) { m_rootDseExtra.push_back(attribute); }
    // Every byte of the replies from now on goes alone, this long after the one before.
    void SetByteDelay(int nMs) { m_nByteDelayMs = nMs; }

    // Every request received so far (binds and the root DSE's search included).
    std::vector<CHostileRequest> Requests() const;
    int CountRequests(int nOp) const;
    // Waits until a request of that kind came (or the guard time passed).
    bool WaitForRequest(int nOp, int nGuardMs = 10000);

private:
    void AcceptLoop();
    void Serve(int fd);
    // FALSE: the handler asked for the connection to be reset.
    bool Answer(int fd, const CHostileRequest& request);

    int m_nListen = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bStopReading{false};
    std::atomic<int> m_nByteDelayMs{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_requestCame;
    std::vector<std::thread> m_connections;
    std::vector<int> m_fds;
    std::vector<CHostileRequest> m_requests;
    CHandler m_handler;
    std::vector<CHostileAttribute> m_rootDseExtra;
};
