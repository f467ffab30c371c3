#include "HostileServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <lber.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kPagedResultsOid = "1.2.840.113556.1.4.319";
constexpr const char* kManageDsaITOid = "2.16.840.1.113730.3.4.2";
constexpr ber_tag_t kSearchEntry = 0x64;
constexpr ber_tag_t kSearchResultDone = 0x65;
constexpr ber_tag_t kSearchReference = 0x73;
constexpr ber_tag_t kControls = 0xa0;

berval Bv(const std::string& s) {
    return berval{static_cast<ber_len_t>(s.size()), const_cast<char*>(s.data())};
}

std::string Flatten(BerElement* pBer) {
    berval bv{0, nullptr};
    std::string bytes;
    if (ber_flatten2(pBer, &bv, 0) == 0)
        bytes.assign(bv.bv_val, bv.bv_len);
    ber_free(pBer, 1);
    return bytes;
}

// The response tag that answers a request's tag.
ber_tag_t ResponseTag(int nOp) {
    switch (nOp) {
    case kLdapBindRequest:
        return 0x61;
    case kLdapSearchRequest:
        return kSearchResultDone;
    case kLdapModifyRequest:
        return 0x67;
    case kLdapExtendedRequest:
        return 0x78;
    default:
        return static_cast<ber_tag_t>(nOp + 1); // add, delete, rename, compare: request + 1
    }
}

bool ReadExact(int fd, unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t nRead = recv(fd, p, n, 0);
        if (nRead <= 0)
            return false;
        p += nRead;
        n -= static_cast<size_t>(nRead);
    }
    return true;
}

// One whole LDAPMessage: its tag, length and contents.
bool ReadMessage(int fd, std::string& bytes) {
    unsigned char head[2];
    if (!ReadExact(fd, head, 2))
        return false;
    bytes.assign(reinterpret_cast<char*>(head), 2);
    size_t nLength = head[1];
    if (head[1] & 0x80) {
        unsigned char lengthBytes[8];
        const size_t nBytes = head[1] & 0x7f;
        if (nBytes == 0 || nBytes > sizeof(lengthBytes) || !ReadExact(fd, lengthBytes, nBytes))
            return false;
        bytes.append(reinterpret_cast<char*>(lengthBytes), nBytes);
        nLength = 0;
        for (size_t i = 0; i < nBytes; ++i)
            nLength = (nLength << 8) | lengthBytes[i];
    }
    std::string contents(nLength, '\0');
    if (nLength > 0 && !ReadExact(fd, reinterpret_cast<unsigned char*>(contents.data()), nLength))
        return false;
    bytes += contents;
    return true;
}

void ReadControls(BerElement* pBer, CHostileRequest& request) {
    ber_len_t nLength = 0;
    if (ber_peek_tag(pBer, &nLength) != kControls)
        return;
    char* pLast = nullptr;
    for (ber_tag_t tag = ber_first_element(pBer, &nLength, &pLast); tag != LBER_DEFAULT;
         tag = ber_next_element(pBer, &nLength, pLast)) {
        berval oid{0, nullptr};
        if (ber_scanf(pBer, "{m", &oid) == LBER_ERROR)
            return;
        ber_tag_t next = ber_peek_tag(pBer, &nLength);
        if (next == LBER_BOOLEAN) {
            ber_int_t bCritical = 0;
            ber_scanf(pBer, "b", &bCritical);
            next = ber_peek_tag(pBer, &nLength);
        }
        berval value{0, nullptr};
        if (next == LBER_OCTETSTRING)
            ber_scanf(pBer, "m", &value);
        const std::string name(oid.bv_val, oid.bv_len);
        if (name == kManageDsaITOid) {
            request.bManageDsaIT = true;
        } else if (name == kPagedResultsOid && value.bv_val) {
            request.bPaged = true;
            BerElement* pValue = ber_init(&value);
            ber_int_t nSize = 0;
            berval cookie{0, nullptr};
            if (pValue && ber_scanf(pValue, "{im}", &nSize, &cookie) != LBER_ERROR) {
                request.nPageSize = nSize;
                request.cookie.assign(cookie.bv_val ? cookie.bv_val : "", cookie.bv_len);
            }
            if (pValue)
                ber_free(pValue, 1);
        }
    }
}

bool Decode(const std::string& bytes, CHostileRequest& request) {
    berval bv = Bv(bytes);
    BerElement* pBer = ber_init(&bv);
    if (!pBer)
        return false;
    bool bOk = false;
    ber_int_t nMsgId = 0;
    ber_len_t nLength = 0;
    if (ber_scanf(pBer, "{i", &nMsgId) != LBER_ERROR) {
        request.nMsgId = nMsgId;
        const ber_tag_t op = ber_peek_tag(pBer, &nLength);
        request.nOp = static_cast<int>(op);
        bOk = true;
        if (op == kLdapSearchRequest) {
            berval base{0, nullptr};
            ber_int_t nScope = 0, nDeref = 0, nSizeLimit = 0, nTimeLimit = 0, bTypesOnly = 0;
            bOk = ber_scanf(pBer, "{miiiibx", &base, &nScope, &nDeref, &nSizeLimit, &nTimeLimit,
                            &bTypesOnly) != LBER_ERROR;
            if (bOk) {
                request.base.assign(base.bv_val ? base.bv_val : "", base.bv_len);
                request.nScope = nScope;
                char* pLast = nullptr;
                for (ber_tag_t tag = ber_first_element(pBer, &nLength, &pLast); tag != LBER_DEFAULT;
                     tag = ber_next_element(pBer, &nLength, pLast)) {
                    berval name{0, nullptr};
                    if (ber_scanf(pBer, "m", &name) == LBER_ERROR)
                        break;
                    request.attributes.emplace_back(name.bv_val ? name.bv_val : "", name.bv_len);
                }
            }
        } else if (op == kLdapModifyRequest) {
            berval dn{0, nullptr};
            bOk = ber_scanf(pBer, "{m", &dn) != LBER_ERROR;
            if (bOk)
                request.base.assign(dn.bv_val ? dn.bv_val : "", dn.bv_len);
            char* pLast = nullptr;
            for (ber_tag_t tag = bOk ? ber_first_element(pBer, &nLength, &pLast) : LBER_DEFAULT;
                 tag != LBER_DEFAULT; tag = ber_next_element(pBer, &nLength, pLast)) {
                ber_int_t nChange = 0;
                berval type{0, nullptr};
                if (ber_scanf(pBer, "{e{m", &nChange, &type) == LBER_ERROR) {
                    bOk = false;
                    break;
                }
                CHostileAttribute change{std::string(type.bv_val ? type.bv_val : "", type.bv_len), {}};
                char* pLastValue = nullptr;
                for (ber_tag_t valueTag = ber_first_element(pBer, &nLength, &pLastValue);
                     valueTag != LBER_DEFAULT; valueTag = ber_next_element(pBer, &nLength, pLastValue)) {
                    berval value{0, nullptr};
                    if (ber_scanf(pBer, "m", &value) == LBER_ERROR)
                        break;
                    change.values.emplace_back(value.bv_val ? value.bv_val : "", value.bv_len);
                }
                ber_scanf(pBer, "}}");
                request.changes.push_back(std::move(change));
            }
            if (bOk)
                ber_scanf(pBer, "}");
        } else if (op == kLdapAbandonRequest) {
            ber_int_t nId = 0;
            bOk = ber_scanf(pBer, "i", &nId) != LBER_ERROR;
            request.nAbandoned = nId;
        } else {
            bOk = ber_scanf(pBer, "x") != LBER_ERROR;
        }
        if (bOk)
            ReadControls(pBer, request);
    }
    ber_free(pBer, 1);
    return bOk;
}

} // namespace

// ---------------------------------------------------------------- replies

void CHostileReply::Write(const std::string& bytes) {
    m_bSent = true;
    const int nDelay = m_nByteDelayMs.load();
    if (nDelay <= 0) {
        size_t nDone = 0;
        while (nDone < bytes.size()) {
            ssize_t n = send(m_fd, bytes.data() + nDone, bytes.size() - nDone, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            nDone += static_cast<size_t>(n);
        }
        return;
    }
    for (char c : bytes) {
        if (send(m_fd, &c, 1, MSG_NOSIGNAL) != 1)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(nDelay));
    }
}

std::string CHostileReply::EncodeEntry(const std::string& dn,
                                       const std::vector<CHostileAttribute>& attributes) const {
    BerElement* pBer = ber_alloc_t(LBER_USE_DER);
    berval dnValue = Bv(dn);
    ber_printf(pBer, "{it{O{", static_cast<ber_int_t>(m_nMsgId), kSearchEntry, &dnValue);
    for (const CHostileAttribute& attribute : attributes) {
        berval name = Bv(attribute.name);
        ber_printf(pBer, "{O[", &name);
        for (const std::string& value : attribute.values) {
            berval v = Bv(value);
            ber_printf(pBer, "O", &v);
        }
        ber_printf(pBer, "]}");
    }
    ber_printf(pBer, "}}}");
    return Flatten(pBer);
}

void CHostileReply::Entry(const std::string& dn, const std::vector<CHostileAttribute>& attributes) {
    Write(EncodeEntry(dn, attributes));
}

void CHostileReply::ResetMidEntry(const std::string& dn, const std::vector<CHostileAttribute>& attributes) {
    const std::string bytes = EncodeEntry(dn, attributes);
    Write(bytes.substr(0, bytes.size() / 2));
    m_bReset = true;
}

void CHostileReply::Reference(const std::vector<std::string>& urls) {
    BerElement* pBer = ber_alloc_t(LBER_USE_DER);
    ber_printf(pBer, "{it{", static_cast<ber_int_t>(m_nMsgId), kSearchReference);
    for (const std::string& url : urls) {
        berval v = Bv(url);
        ber_printf(pBer, "O", &v);
    }
    ber_printf(pBer, "}}");
    Write(Flatten(pBer));
}

void CHostileReply::SearchDone(int nCode, const std::string& diagnostic, const std::string* pCookie) {
    BerElement* pBer = ber_alloc_t(LBER_USE_DER);
    berval matched = Bv("");
    berval text = Bv(diagnostic);
    ber_printf(pBer, "{it{eOO}", static_cast<ber_int_t>(m_nMsgId), kSearchResultDone,
               static_cast<ber_int_t>(nCode), &matched, &text);
    if (pCookie) {
        BerElement* pValue = ber_alloc_t(LBER_USE_DER);
        berval cookie = Bv(*pCookie);
        ber_printf(pValue, "{iO}", static_cast<ber_int_t>(0), &cookie);
        const std::string value = Flatten(pValue);
        berval controlValue = Bv(value);
        ber_printf(pBer, "t{{sO}}", kControls, kPagedResultsOid, &controlValue);
    }
    ber_printf(pBer, "}");
    Write(Flatten(pBer));
}

void CHostileReply::Result(int nCode, const std::string& diagnostic) {
    BerElement* pBer = ber_alloc_t(LBER_USE_DER);
    berval matched = Bv("");
    berval text = Bv(diagnostic);
    ber_printf(pBer, "{it{eOO}}", static_cast<ber_int_t>(m_nMsgId), ResponseTag(m_nOp),
               static_cast<ber_int_t>(nCode), &matched, &text);
    Write(Flatten(pBer));
}

// ---------------------------------------------------------------- server

CHostileServer::CHostileServer() = default;

CHostileServer::~CHostileServer() {
    m_bStopping = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Wakes every connection, also one blocked in a read or a write.
        for (int fd : m_fds)
            shutdown(fd, SHUT_RDWR);
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connections.swap(m_connections);
    }
    for (std::thread& connection : connections)
        connection.join();
    for (int fd : m_fds)
        close(fd);
    if (m_nListen >= 0)
        close(m_nListen);
}

bool CHostileServer::Start() {
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_nListen < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t nSize = sizeof(address);
    if (bind(m_nListen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_nListen, 16) != 0 ||
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &nSize) != 0)
        return false;
    m_nPort = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

CConnectionParams CHostileServer::Params() const {
    CConnectionParams params;
    params.m_strServer = "127.0.0.1";
    params.m_nPort = m_nPort;
    params.m_strSearchBase = Base();
    params.m_strFilter = "(objectclass=*)";
    return params;
}

void CHostileServer::SetHandler(CHandler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<CHostileRequest> CHostileServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int CHostileServer::CountRequests(int nOp) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int nCount = 0;
    for (const CHostileRequest& request : m_requests)
        nCount += request.nOp == nOp ? 1 : 0;
    return nCount;
}

bool CHostileServer::WaitForRequest(int nOp, int nGuardMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_requestCame.wait_for(lock, std::chrono::milliseconds(nGuardMs), [&] {
        for (const CHostileRequest& request : m_requests)
            if (request.nOp == nOp)
                return true;
        return false;
    });
}

void CHostileServer::AcceptLoop() {
    while (!m_bStopping) {
        pollfd pfd{m_nListen, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0)
            continue;
        int fd = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStopping) {
            close(fd);
            break;
        }
        m_fds.push_back(fd);
        m_connections.emplace_back([this, fd] { Serve(fd); });
    }
}

void CHostileServer::Serve(int fd) {
    while (!m_bStopping) {
        if (m_bStopReading) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        pollfd pfd{fd, POLLIN, 0};
        // Told to stop reading while it waited: the bytes stay unread.
        if (poll(&pfd, 1, 50) <= 0 || m_bStopReading)
            continue;
        std::string bytes;
        CHostileRequest request;
        if (!ReadMessage(fd, bytes) || !Decode(bytes, request))
            break;
        if (request.nOp == 0x42) // unbind
            break;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        m_requestCame.notify_all();
        if (request.nOp != kLdapAbandonRequest && !Answer(fd, request)) {
            // A reset, not an orderly end: no linger, so the close sends RST.
            linger hard{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            std::lock_guard<std::mutex> lock(m_mutex);
            std::erase(m_fds, fd);
            close(fd);
            return;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    shutdown(fd, SHUT_RDWR);
}

bool CHostileServer::Answer(int fd, const CHostileRequest& request) {
    CHostileReply reply(fd, request.nMsgId, request.nOp, m_nByteDelayMs);
    const bool bRootDse = request.nOp == kLdapSearchRequest && request.base.empty() && request.nScope == 0;
    const bool bOpenBase = request.nOp == kLdapSearchRequest && request.base == Base() &&
                           request.nScope == 0 && request.attributes.empty();
    if (request.nOp != kLdapBindRequest && request.nOp != kLdapExtendedRequest && !bRootDse && !bOpenBase) {
        CHandler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            handler = m_handler;
        }
        if (handler)
            handler(request, reply);
        if (reply.Sent())
            return !reply.ResetWanted();
    }
    if (request.nOp != kLdapSearchRequest) {
        reply.Result(0);
        return true;
    }
    if (bRootDse) {
        std::vector<CHostileAttribute> rootDse = {{"supportedControl", {kPagedResultsOid, kManageDsaITOid}},
                                                  {"supportedLDAPVersion", {"3"}}};
        rootDse.insert(rootDse.end(), m_rootDseExtra.begin(), m_rootDseExtra.end());
        reply.Entry("", rootDse);
    } else if (request.nScope == 0) {
        reply.Entry(request.base, {{"objectClass", {"top"}}});
    }
    reply.SearchDone(0);
    return true;
}
