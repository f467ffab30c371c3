// Reading the server's schema: the root DSE names the subschema entry, whose
// operational attributes hold the definitions. Once per session, on a worker
// of its own, quietly: a server that publishes no schema (or hides it) only
// leaves the panes without one.

#include "platform/Dispatcher.h"
#include "source/LdapConnect.h"
#include "source/LdapSource.h"
#include "source/ServerSchema.h"

#include <functional>

namespace {

// The subschema entry's attributes and the kind of definition each holds.
struct CSubschemaAttribute {
    const char* pszName;
    CSchema::EKind eKind;
};
constexpr CSubschemaAttribute kSubschemaAttributes[] = {
    {"objectClasses", CSchema::kObjectClass},   {"attributeTypes", CSchema::kAttributeType},
    {"ldapSyntaxes", CSchema::kSyntax},         {"matchingRules", CSchema::kMatchingRule},
    {"dITContentRules", CSchema::kContentRule},
};

CStringArray Names(std::initializer_list<const char*> names) {
    CStringArray array;
    for (const char* psz : names)
        array.Add(psz);
    return array;
}

const CAttribute* FindAttribute(const std::vector<CAttribute>& attributes, const char* pszName) {
    for (const CAttribute& attribute : attributes)
        if (attribute.m_strName.CompareNoCase(pszName) == 0)
            return &attribute;
    return nullptr;
}

// The schema of a subschema entry's definitions, fnValues giving the values
// of each attribute; NULL when it holds none.
std::shared_ptr<CSchema> SchemaOfSubentry(const std::function<std::vector<CString>(const char*)>& fnValues) {
    auto pSchema = std::make_shared<CSchema>();
    for (const CSubschemaAttribute& item : kSubschemaAttributes)
        for (const CString& definition : fnValues(item.pszName))
            pSchema->AddDefinition(item.eKind, definition);
    if (pSchema->IsEmpty())
        return nullptr;
    pSchema->Resolve();
    return pSchema;
}

} // namespace

bool IsServerSchemaSource(const CString& source) {
    CString lower = source;
    lower.MakeLower();
    return lower.Find("ldap://") == 0 || lower.Find("ldaps://") == 0 || lower.Find("ldapi://") == 0;
}

CResult ReadServerSchema(const CString& url, std::shared_ptr<const CSchema>& pSchema,
                         std::atomic<int>* pnSocket) {
    pSchema.reset();
    CConnectionParams params;
    CString base;
    if (!ParseLdapUrl(url, params.m_strServer, params.m_nPort, params.m_eSecurity, base))
        return CResult::Failure("Not an LDAP URL: " + url);
    CLdapConnection ld;
    CConnectionInfo info;
    const std::atomic<bool> bQuiet{true};
    // Short: until the socket is known, nothing can cut a connect to a
    // server that does not answer, and a Close waits for it.
    constexpr int kConnectTimeoutSeconds = 3;
    CResult connected = LdapConnectAndBind(ld, params, kConnectTimeoutSeconds, info, &bQuiet);
    if (!connected)
        return connected.Reason().IsEmpty() ? CResult::Failure("The server could not be reached") : connected;
    if (pnSocket)
        *pnSocket = ld.Socket();
    const std::vector<CString> subentries = ld.RootDseValues("subschemaSubentry");
    if (!subentries.empty())
        pSchema =
            SchemaOfSubentry([&](const char* pszName) { return ld.EntryValues(subentries[0], pszName); });
    if (pnSocket)
        *pnSocket = -1;
    ld.Unbind();
    if (!pSchema)
        return CResult::Failure("The server publishes no schema that can be read");
    return {};
}

void CLdapSource::LoadSchema(CWnd* pNotify) {
    if (!m_schema.Begin())
        return;
    m_hSchemaNotify = SafeHwnd(pNotify);
    BeforeStart();
    StartWorker(&SchemaWorker, this);
}

UINT CLdapSource::SchemaWorker(void* pParam) {
    auto* pSource = static_cast<CLdapSource*>(pParam);
    pSource->RunSchemaLoad();
    pSource->EndWorker();
    return 0;
}

void CLdapSource::RunSchemaLoad() {
    WaitForConnection();
    std::vector<CString> extensions;
    std::shared_ptr<CSchema> pSchema;
    std::vector<CAttribute> rootDse;
    if (ReadEntryQuietly("", Names({"subschemaSubentry", "supportedExtension"}), rootDse)) {
        if (const CAttribute* pExtensions = FindAttribute(rootDse, "supportedExtension"))
            for (int i = 0; i < pExtensions->GetSize(); ++i)
                extensions.push_back((*pExtensions)[i]);
        const CAttribute* pSubentry = FindAttribute(rootDse, "subschemaSubentry");
        std::vector<CAttribute> subschema;
        CStringArray names;
        for (const CSubschemaAttribute& item : kSubschemaAttributes)
            names.Add(item.pszName);
        if (pSubentry && pSubentry->GetSize() > 0 && ReadEntryQuietly((*pSubentry)[0], names, subschema))
            pSchema = SchemaOfSubentry([&](const char* pszName) {
                std::vector<CString> values;
                if (const CAttribute* pDefinitions = FindAttribute(subschema, pszName))
                    for (int i = 0; i < pDefinitions->GetSize(); ++i)
                        values.push_back((*pDefinitions)[i]);
                return values;
            });
    }
    m_schema.Settle(std::move(pSchema), std::move(extensions));
    CMessageDispatcher::Instance().NotifyStateChanged();
    if (!IsShuttingDown())
        Notify(m_hSchemaNotify, &ISourceEvents::SchemaLoaded);
}

int CLdapSource::RequestQuietly(const std::function<int(int&)>& fnSend,
                                const std::function<void(ldapmsg*)>& fnEach) {
    CWorker worker;
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &bAbandoned;
    worker.pWaiting = &bWaiting;
    if (IsShuttingDown())
        return kServerDown;
    int nCode = SendRequest(fnSend, worker.nMsgId);
    if (nCode != 0)
        return nCode;
    nCode = kServerDown;
    for (;;) {
        CLdapMessage message;
        int nType = 0;
        if (NextResult(worker, message, nType, FALSE) != kGotMessage)
            break;
        if (nType == LDAP_RESULT_SEARCH_ENTRY) {
            if (fnEach)
                fnEach(message.Get());
        } else if (nType != LDAP_RESULT_SEARCH_REFERENCE) {
            nCode = LdapResultCode(m_ld.Get(), message.Get());
            break;
        }
    }
    CCriticalSectionLock lock(m_routingLock);
    m_activeMsgIds.erase(worker.nMsgId);
    m_pendingResults.Drop(worker.nMsgId);
    return nCode;
}

bool CLdapSource::ReadEntryQuietly(const CString& dn, const CStringArray& names,
                                   std::vector<CAttribute>& attributes) {
    bool bFound = false;
    const int nCode = RequestQuietly(
        [&](int& nId) {
            return LdapSearchAttributes(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectClass=*)", names, 0,
                                        nId);
        },
        [&](ldapmsg* pMessage) {
            bFound = true;
            LdapForEachAttribute(m_ld.Get(), pMessage, [&](const CAttribute& attribute) {
                attributes.push_back(attribute);
                return true;
            });
        });
    return bFound && nCode == 0;
}
