#pragma once
// A server's published schema, read on its own short connection: for an
// LDIF file whose entries follow another directory's schema.

#include "platform/Result.h"
#include "source/Schema.h"

#include <atomic>
#include <memory>

// Reads the subschema entry the root DSE of url (ldap://, ldaps://) names,
// binding anonymously and asking no questions (an unverified certificate
// fails). Runs in the caller's thread; give it a worker. The connection's
// socket goes to *pnSocket while it is open (-1 after), so that another
// thread can shut it down.
CResult ReadServerSchema(const CString& url, std::shared_ptr<const CSchema>& pSchema,
                         std::atomic<int>* pnSocket = nullptr);

// Whether a schema source text names a server (an LDAP URL) rather than a
// schema file or folder.
bool IsServerSchemaSource(const CString& source);
