// Setting a password: the server's own Password Modify operation (RFC 3062)
// when its root DSE lists it, so the server hashes the password as it is
// configured to; otherwise a userPassword value made here. The password
// lives only in the request and is wiped when the worker is done with it.

#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"

#include <algorithm>

struct CLdapSource::CPasswordRequest {
    CLdapSource* pSource;
    CString strDN;
    CString strPassword;
    EPasswordScheme eScheme;
    std::shared_ptr<CPasswordChange> pChange;
};

namespace {

void Wipe(CString& secret) {
    std::fill(secret.Str().begin(), secret.Str().end(), '\0');
    secret.Empty();
}

} // namespace

std::shared_ptr<CPasswordChange> CLdapSource::SetPassword(CEntryNode* pEntry, const CString& password,
                                                          EPasswordScheme eScheme) {
    auto pChange = std::make_shared<CPasswordChange>();
    auto* pRequest = new CPasswordRequest{this, pEntry->GetDN(), password, eScheme, pChange};
    BeforeStart();
    StartWorker(&PasswordWorker, pRequest);
    return pChange;
}

UINT CLdapSource::PasswordWorker(void* pParam) {
    auto* pRequest = static_cast<CPasswordRequest*>(pParam);
    CLdapSource* pSource = pRequest->pSource;
    pSource->RunSetPassword(*pRequest);
    Wipe(pRequest->strPassword);
    delete pRequest;
    pSource->EndWorker();
    return 0;
}

void CLdapSource::RunSetPassword(CPasswordRequest& request) {
    WaitForConnection();
    CPasswordChange& change = *request.pChange;
    // Asked now rather than taken from the schema load, which may not have run.
    std::vector<CAttribute> rootDse;
    CStringArray names;
    names.Add("supportedExtension");
    bool bOffered = false;
    if (ReadEntryQuietly("", names, rootDse))
        for (const CAttribute& attribute : rootDse)
            for (int i = 0; i < attribute.GetSize(); ++i)
                bOffered = bOffered || attribute[i] == kPasswordModifyOid;
    int nCode = 0;
    if (bOffered) {
        change.bByServer = true;
        nCode = RequestQuietly([&](int& nId) {
            return LdapPasswordModify(m_ld.Get(), request.strDN, request.strPassword, nId);
        });
    } else {
        CString value = MakePasswordValue(request.eScheme, request.strPassword);
        if (value.IsEmpty()) {
            change.strMessage = "No random salt could be made for the password.";
            change.bDone = true;
            return;
        }
        CStringArray values;
        values.Add(value);
        CLdapMods mods;
        mods.Append(CLdapMods::Replace, "userPassword", values);
        nCode = RequestQuietly([&](int& nId) { return LdapModify(m_ld.Get(), request.strDN, mods, nId); });
        Wipe(value);
        Wipe(values[0]);
    }
    change.bChanged = nCode == 0;
    if (nCode != 0)
        change.strMessage = LdapErrorText(nCode);
    change.bDone = true;
    CMessageDispatcher::Instance().NotifyStateChanged();
}
