// Adding many entries in one go (a paste): a worker of the connection sends
// the adds several at a time and collects their answers in order, so a long
// list costs little more than the server's own work.

#include "platform/Dispatcher.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"

#include <map>
#include <memory>

struct CLdapSource::CEntryWriterJob {
    CLdapSource* pSource;
    std::function<void(IEntryWriter&)> job;
    std::function<void()> fnDone;
};

class CLdapSource::CEntryWriter : public IEntryWriter {
public:
    explicit CEntryWriter(CLdapSource& source) : m_source(source) {
        m_worker.pAbandoned = &m_bAbandoned;
        m_worker.pWaiting = &m_bWaiting;
    }
    ~CEntryWriter() override {
        // Answers never collected (the job ended early) are dropped as they come.
        for (auto& [nTicket, ticket] : m_tickets)
            Release(ticket.nMsgId);
    }
    CEntryWriter(const CEntryWriter&) = delete;
    CEntryWriter& operator=(const CEntryWriter&) = delete;

    int Send(const CString& dn, const std::vector<CAttribute>& attributes, EWrite eWrite) override {
        const int nTicket = m_nNextTicket++;
        CTicket& ticket = m_tickets[nTicket];
        if (m_source.IsShuttingDown()) {
            ticket.outcome.bShutdown = true;
            ticket.bDone = true;
            return nTicket;
        }
        CLdapMods mods;
        if (eWrite == Add) {
            for (const CAttribute& attribute : attributes)
                mods.Append(CLdapMods::Add, attribute.GetName(), attribute);
        } else if (!ReplaceMods(dn, attributes, mods, ticket.outcome)) {
            ticket.bDone = true;
            return nTicket;
        }
        // The library encodes the request at once; the records may go now.
        const int nCode = m_source.SendRequest(
            [&](int& nId) {
                return eWrite == Add ? LdapAdd(m_source.m_ld.Get(), dn, mods, nId)
                                     : LdapModify(m_source.m_ld.Get(), dn, mods, nId);
            },
            ticket.nMsgId);
        if (nCode != 0) {
            ticket.outcome.nCode = nCode;
            ticket.outcome.strMessage = LdapResultDescription(nCode);
            ticket.bDone = true;
        }
        return nTicket;
    }

    CWriteOutcome Collect(int nTicket) override {
        auto it = m_tickets.find(nTicket);
        if (it == m_tickets.end())
            return CWriteOutcome{};
        CTicket ticket = std::move(it->second);
        m_tickets.erase(it);
        if (ticket.bDone)
            return ticket.outcome;
        m_worker.nMsgId = ticket.nMsgId;
        CLdapMessage message;
        int nType = 0;
        switch (m_source.NextResult(m_worker, message, nType, FALSE)) {
        case kGotMessage: {
            CString diagnostic;
            const int nCode = LdapResultCode(m_source.m_ld.Get(), message.Get(), &diagnostic);
            ticket.outcome.nCode = nCode;
            if (nCode != 0)
                ticket.outcome.strMessage = LdapResultDescription(nCode, diagnostic);
            break;
        }
        case kShutdown:
            ticket.outcome.bShutdown = true;
            break;
        default:
            ticket.outcome.nCode = kServerDown;
            ticket.outcome.strMessage = LdapResultDescription(kServerDown);
            break;
        }
        Release(ticket.nMsgId);
        return ticket.outcome;
    }

    int Window() const override { return kWindow; }

private:
    // Enough to keep the server busy while the answers travel back; small
    // enough that a Stop leaves few requests behind.
    static constexpr int kWindow = 64;

    struct CTicket {
        int nMsgId = -1;
        bool bDone = false;
        CWriteOutcome outcome;
    };

    // The entry as it is now on the server: its user attributes that the
    // paste does not carry go, the pasted ones replace theirs.
    bool ReplaceMods(const CString& dn, const std::vector<CAttribute>& attributes, CLdapMods& mods,
                     CWriteOutcome& outcome) {
        std::vector<CAttribute> existing;
        CStringArray names;
        names.Add("*");
        if (!m_source.ReadEntryQuietly(dn, names, existing)) {
            outcome.nCode = 32;
            outcome.strMessage = "The entry to replace could not be read: " + LdapErrorText(32);
            return false;
        }
        for (const CAttribute& old : existing) {
            bool bPasted = false;
            for (const CAttribute& attribute : attributes)
                bPasted = bPasted || attribute.GetName().CompareNoCase(old.GetName()) == 0;
            if (!bPasted)
                mods.Append(CLdapMods::Replace, old.GetName(), CStringArray());
        }
        for (const CAttribute& attribute : attributes)
            mods.Append(CLdapMods::Replace, attribute.GetName(), attribute);
        return true;
    }

    void Release(int nMsgId) {
        if (nMsgId < 0)
            return;
        CCriticalSectionLock lock(m_source.m_routingLock);
        m_source.m_activeMsgIds.erase(nMsgId);
        m_source.m_pendingResults.Drop(nMsgId);
    }

    CLdapSource& m_source;
    CWorker m_worker;
    BOOL m_bAbandoned = FALSE;
    BOOL m_bWaiting = FALSE;
    int m_nNextTicket = 0;
    std::map<int, CTicket> m_tickets;
};

BOOL CLdapSource::RunEntryWriter(std::function<void(IEntryWriter&)> job, std::function<void()> fnDone) {
    if (!m_ld)
        return FALSE;
    auto* pJob = new CEntryWriterJob{this, std::move(job), std::move(fnDone)};
    BeforeStart();
    StartWorker(&EntryWriterWorker, pJob);
    return TRUE;
}

UINT CLdapSource::EntryWriterWorker(void* pParam) {
    std::unique_ptr<CEntryWriterJob> pJob(static_cast<CEntryWriterJob*>(pParam));
    CLdapSource* pSource = pJob->pSource;
    pSource->WaitForConnection();
    {
        CEntryWriter writer(*pSource);
        pJob->job(writer);
    }
    if (pJob->fnDone)
        pJob->fnDone();
    pJob.reset();
    CMessageDispatcher::Instance().NotifyStateChanged();
    --pSource->m_nLiveWorkers;
    return 0;
}
