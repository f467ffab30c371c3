#pragma once
// Results that one worker read from the shared connection for another
// worker's request, kept in arrival order until their worker takes them.

#include "platform/Collections.h"
#include "platform/Sync.h"

struct ldapmsg;

class CPendingResult : public CObject {
public:
    CPendingResult() = default;
    // Frees a message it still holds.
    ~CPendingResult() override;
    CPendingResult(const CPendingResult&) = delete;
    CPendingResult& operator=(const CPendingResult&) = delete;

    int m_nMsgId = -1;
    int m_nType = 0;
    ldapmsg* m_pMessage = nullptr;
};

class CPendingResults : public CObject {
public:
    CPendingResults() = default;
    // Deletes every record still held, which frees their messages.
    ~CPendingResults() override;
    CPendingResults(const CPendingResults&) = delete;
    CPendingResults& operator=(const CPendingResults&) = delete;

    // Appends a record; the store owns the message from now on.
    void Add(int nMsgId, ldapmsg* pMessage, int nType);
    // The oldest message for the id, detached from the store, with its type;
    // NULL (type untouched) when there is none.
    ldapmsg* Take(int nMsgId, int& nType);
    // Frees every message held for the id; returns how many.
    int Drop(int nMsgId);
    int GetCount() const;

private:
    mutable CCriticalSection m_lock;
    CPtrList m_results; // of CPendingResult*, owned
};
