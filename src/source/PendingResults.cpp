#include "source/PendingResults.h"

#include <ldap.h>

CPendingResult::~CPendingResult() {
    if (m_pMessage)
        ldap_msgfree(m_pMessage);
}

CPendingResults::~CPendingResults() {
    while (!m_results.IsEmpty())
        delete static_cast<CPendingResult*>(m_results.RemoveHead());
}

void CPendingResults::Add(int nMsgId, ldapmsg* pMessage, int nType) {
    auto* pResult = new CPendingResult;
    pResult->m_nMsgId = nMsgId;
    pResult->m_nType = nType;
    pResult->m_pMessage = pMessage;
    CCriticalSectionLock lock(m_lock);
    m_results.AddTail(pResult);
}

ldapmsg* CPendingResults::Take(int nMsgId, int& nType) {
    CCriticalSectionLock lock(m_lock);
    for (POSITION pos = m_results.GetHeadPosition(); pos;) {
        POSITION current = pos;
        auto* pResult = static_cast<CPendingResult*>(m_results.GetNext(pos));
        if (pResult->m_nMsgId != nMsgId)
            continue;
        nType = pResult->m_nType;
        ldapmsg* pMessage = pResult->m_pMessage;
        pResult->m_pMessage = nullptr;
        m_results.RemoveAt(current);
        delete pResult;
        return pMessage;
    }
    return nullptr;
}

int CPendingResults::Drop(int nMsgId) {
    int nDropped = 0;
    int nType = 0;
    while (ldapmsg* pMessage = Take(nMsgId, nType)) {
        ldap_msgfree(pMessage);
        ++nDropped;
    }
    return nDropped;
}

int CPendingResults::GetCount() const {
    CCriticalSectionLock lock(m_lock);
    return m_results.GetCount();
}
