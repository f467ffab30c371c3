#pragma once
// The outcome of something that can fail for a reason the user is told.

#include "platform/String.h"

class CResult {
public:
    // Success.
    CResult() = default;
    // Failed, and why, in words for the user (with the system's or the
    // server's own text where there is one).
    static CResult Failure(const CString& reason, int nCode = 0) { return CResult(reason, nCode); }
    // Failed with nothing left to tell: the user said no, or gave up.
    static CResult Silent() { return CResult(CString(), 0); }

    bool Succeeded() const { return m_bSucceeded; }
    explicit operator bool() const { return m_bSucceeded; }
    const CString& Reason() const { return m_strReason; }
    // The code the failure came with (an LDAP result code, errno), or 0.
    int Code() const { return m_nCode; }

private:
    CResult(const CString& reason, int nCode) : m_bSucceeded(false), m_strReason(reason), m_nCode(nCode) {}

    bool m_bSucceeded = true;
    CString m_strReason;
    int m_nCode = 0;
};
