// A file has no server to hash a password: the value is made here, in the
// scheme the user chose, and replaces the entry's userPassword values in
// memory like any other change (written back at Close).

#include "ldif/LdifSource.h"
#include "model/EntryNode.h"

std::shared_ptr<CPasswordChange> CLdifSource::SetPassword(CEntryNode* pEntry, const CString& password,
                                                          EPasswordScheme eScheme) {
    auto pChange = std::make_shared<CPasswordChange>();
    const CString value = MakePasswordValue(eScheme, password);
    if (value.IsEmpty()) {
        pChange->strMessage = "No random salt could be made for the password.";
    } else {
        // The name as the file spells it.
        auto find = [pEntry]() -> CAttribute* {
            for (CAttribute* pAttribute : pEntry->m_attributes)
                if (pAttribute->m_strName.CompareNoCase("userPassword") == 0 && pAttribute->GetSize() > 0)
                    return pAttribute;
            return nullptr;
        };
        CString name = "userPassword";
        for (CAttribute* pOld = find(); pOld; pOld = find()) {
            name = pOld->m_strName;
            pEntry->RemoveValue(name, pOld->GetAt(0));
        }
        pEntry->AddValue(name, value);
        pChange->bChanged = true;
    }
    pChange->bDone = true;
    return pChange;
}
