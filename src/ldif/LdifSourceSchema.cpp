// An LDIF file carries no schema: the one the machine's slapd would use
// stands in, else the standard schemas built into the program. The user may
// name another: a schema file or folder, or a server to borrow it from.

#include "ldif/LdifSource.h"
#include "platform/Thread.h"
#include "source/SchemaFiles.h"
#include "source/ServerSchema.h"

#include <sys/socket.h>

namespace {

// A file's definitions on top of the standard ones it builds on; a folder
// as the local slapd's folder is read.
CResult ReadSchemaSource(const CString& path, std::shared_ptr<const CSchema>& pSchema) {
    if (std::shared_ptr<const CSchema> pFolder = LoadSchemaFolder(path)) {
        pSchema = std::move(pFolder);
        return {};
    }
    auto pRead = std::make_shared<CSchema>();
    int nFailed = 0;
    if (!ReadSchemaFile(path, *pRead, &nFailed) || pRead->IsEmpty())
        return CResult::Failure("No schema definitions could be read from " + path);
    AddBuiltinDefinitions(*pRead);
    pRead->Resolve();
    pSchema = std::move(pRead);
    return {};
}

} // namespace

void CLdifSource::LoadSchema(CWnd* pNotify) {
    if (!m_schema.Begin())
        return;
    m_hSchemaNotify = pNotify ? pNotify->GetSafeHwnd() : HWND();
    if (IsServerSchemaSource(m_strSchemaSource)) {
        // A server may be slow to answer; the panes work without a schema
        // meanwhile.
        HANDLE hThread = AfxBeginThread(&SchemaWorker, this);
        m_workerThreads.Add(HandleToDWord(hThread));
        return;
    }
    std::shared_ptr<const CSchema> pSchema;
    if (!m_strSchemaSource.IsEmpty()) {
        const CResult read = ReadSchemaSource(m_strSchemaSource, pSchema);
        if (!read)
            ReportFailure(CString(kSchemaFallbackText) + read.Reason());
    }
    SettleSchema(std::move(pSchema));
}

UINT CLdifSource::SchemaWorker(void* pParam) {
    auto* pSource = static_cast<CLdifSource*>(pParam);
    std::shared_ptr<const CSchema> pSchema;
    const CResult read = ReadServerSchema(pSource->m_strSchemaSource, pSchema, &pSource->m_nSchemaSocket);
    if (!read && !pSource->m_shutdownEvent.IsSignalled())
        pSource->ReportFailure(CString(kSchemaFallbackText) + pSource->m_strSchemaSource + ": " +
                               read.Reason());
    pSource->SettleSchema(std::move(pSchema));
    return 0;
}

void CLdifSource::SettleSchema(std::shared_ptr<const CSchema> pSchema) {
    m_schema.Settle(pSchema ? std::move(pSchema) : LocalSchema());
    if (m_hSchemaNotify && !m_shutdownEvent.IsSignalled())
        Notify(m_hSchemaNotify, &ISourceEvents::SchemaLoaded);
}

void CLdifSource::BreakConnection() {
    const int nSocket = m_nSchemaSocket;
    if (nSocket >= 0)
        shutdown(nSocket, SHUT_RDWR);
}

const char* const CLdifSource::kSchemaFallbackText = "The standard schema is used instead: ";
