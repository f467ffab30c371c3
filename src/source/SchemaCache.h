#pragma once
// The schema a source works with, read once per session and then shared:
// the loader (a worker of the LDAP source, the call itself for an LDIF
// source) settles it once; the panes read it at any time.

#include "platform/Types.h"
#include "source/Schema.h"

#include <memory>
#include <mutex>
#include <vector>

// How long a dialog waits for a schema still being read before it goes on
// without one.
constexpr DWORD kSchemaWaitMs = 10000;

// The Password Modify extended operation (RFC 3062).
inline const char* const kPasswordModifyOid = "1.3.6.1.4.1.4203.1.11.1";

class CSchemaCache {
public:
    // TRUE for the first caller only, which then loads and calls Settle.
    bool Begin();
    // The load is over: the schema read (NULL for none) and the extended
    // operations the server's root DSE lists.
    void Settle(std::shared_ptr<const CSchema> pSchema, std::vector<CString> extensions = {});
    bool IsSettled() const;
    // A load was asked for (it may still run).
    bool IsBegun() const;
    std::shared_ptr<const CSchema> Get() const;
    // The root DSE listed the extended operation (known once settled).
    bool ListsExtension(const CString& oid) const;

private:
    mutable std::mutex m_mutex;
    bool m_bBegun = false;
    bool m_bSettled = false;
    std::shared_ptr<const CSchema> m_pSchema;
    std::vector<CString> m_extensions;
};
