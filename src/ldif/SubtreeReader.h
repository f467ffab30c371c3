#pragma once
// Reads a subtree (or one entry) from a source with its search and writes it
// as LDIF, parents before children, as ldapadd needs them: the reader behind
// Save to LDIF of the whole subtree, Copy Entry, Copy Subtree and Export
// Subtree. Runs on the UI thread, serving queued sends while it waits.

#include "platform/String.h"
#include "source/Search.h"

#include <functional>

class CDataSource;
class CFileSink;

enum class ESubtreeRead { Done, Stopped, Failed, Gone };

struct CSubtreeReadResult {
    ESubtreeRead eEnd = ESubtreeRead::Done;
    int nWritten = 0;
    // Attributes left out for names that are no attribute descriptions.
    int nSkipped = 0;
};

// What the caller says between batches.
enum class ESubtreeIdle { Continue, Stop, Gone };

// Streams the entries the query finds into sink after a "version: 1"
// line. fnIdle runs between batches with the count written so far: Stop
// ends the search (what came is kept in the count, the sink is abandoned),
// Gone means the source went away (nothing of it is touched again). A
// failed or cut-short search abandons the sink with the reason, so no
// partial copy passes for a whole one. Operational attributes are left out.
CSubtreeReadResult ReadSubtreeAsLdif(CDataSource& source, const CSearchQuery& query, CFileSink& sink,
                                     const std::function<ESubtreeIdle(int nWritten)>& fnIdle);

// The search of a subtree (or with SEARCH_SCOPE_BASE one entry) for every
// entry, or those the filter names.
CSearchQuery SubtreeQuery(const CString& base, int nScope = SEARCH_SCOPE_SUBTREE,
                          const CString& filter = CString());

// Attributes the server keeps for itself (RFC 4512, 3045, 4530 and
// OpenLDAP's), which no add may carry.
bool IsOperationalAttribute(std::string_view name);
