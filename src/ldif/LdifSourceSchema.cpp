// An LDIF file carries no schema: the one the machine's slapd would use
// stands in, else the standard schemas built into the program.

#include "ldif/LdifSource.h"
#include "source/SchemaFiles.h"

void CLdifSource::LoadSchema(CWnd* pNotify) {
    if (!m_schema.Begin())
        return;
    m_schema.Settle(LocalSchema());
    if (pNotify)
        Notify(pNotify->GetSafeHwnd(), &ISourceEvents::SchemaLoaded);
}
