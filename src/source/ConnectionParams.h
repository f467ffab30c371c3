#pragma once
// What a login page fills and a source's Open reads.

#include "platform/String.h"

class CEntryNode;

class CConnectionParams {
public:
    virtual ~CConnectionParams() = default;

    CString m_strServer;
    CString m_strPassword;
    CString m_strSearchBase;
    CString m_strFilter;
    CString m_strBindDN;
    CString m_strLdifFile;
    int m_nPort = 0;
    // Set by Open on success; owned by the source.
    CEntryNode* m_pRoot = nullptr;
};
