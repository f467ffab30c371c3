#pragma once
// Adding entries given by DN and attributes, one after another, for a paste:
// the source sends each (several may be in flight) and the caller collects
// the answers in the order it sent them.

#include "model/Attribute.h"
#include "platform/String.h"

#include <vector>

// How one add (or replace) ended.
struct CWriteOutcome {
    // 0: done; otherwise the LDAP result code (68: the entry exists).
    int nCode = 0;
    // The server's words, or ours, for a failure.
    CString strMessage;
    // The source is closing: nothing more is sent or told.
    bool bShutdown = false;
};

class IEntryWriter {
public:
    virtual ~IEntryWriter() = default;
    enum EWrite { Add, Replace };
    // Sends the request; the ticket to collect its answer with. Replace:
    // the existing entry's user attributes become exactly these.
    virtual int Send(const CString& dn, const std::vector<CAttribute>& attributes, EWrite eWrite) = 0;
    // Waits for the answer to a ticket Send gave.
    virtual CWriteOutcome Collect(int nTicket) = 0;
    // Requests that may be in flight at once.
    virtual int Window() const { return 1; }
};

// The result code a server gives for an add of an entry that exists.
constexpr int kEntryAlreadyExists = 68;
