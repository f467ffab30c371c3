#include "source/LdapError.h"

#include "platform/Services.h"

#include <ldap.h>

CString LdapErrorText(int nCode) {
    switch (nCode) {
    case 0:
        return "The operation was carried out succesfully";
    case 1:
        return "There was an error in performing the operation";
    case 3:
        return "Time limit exceeded for this operation";
    case 4:
        return "Size limit exceeded for this operation";
    case 5:
        return "Comparison returned false";
    case 6:
        return "Comparison returned true";
    case 7:
        return "Authorization method not supported";
    case 17:
        return "The specified attribute type is undefined";
    case 21:
        return "The attribute syntax is invalid";
    case 32:
        return "The specified object could not be found";
    case 34:
        return "The syntax for DN is invalid";
    case 35:
        return "Given node is a leaf node";
    case 36:
        return "Alias dereferencing problem";
    case 48:
        return "The authentication is inappropriate";
    case 53:
        return "The server is not willing to perform the operation";
    case 68:
        return "The specified entry already exists";
    default:
        return ldap_err2string(nCode);
    }
}

CString LdapErrorMessage(int nCode, const CString& diagnostic, const CString& matchedDN) {
    CString text = LdapErrorText(nCode);
    if (!diagnostic.IsEmpty())
        text += "\n" + diagnostic;
    if (nCode == LDAP_NO_SUCH_OBJECT && !matchedDN.IsEmpty())
        text += "\nMatched DN: " + matchedDN;
    return text;
}

COperationFailure LdapFailure(int nCode, const CString& diagnostic, const CString& matchedDN) {
    COperationFailure failure;
    failure.nCode = nCode;
    failure.strServerText = diagnostic;
    failure.strMatchedDN = matchedDN;
    failure.strText = LdapErrorMessage(nCode, diagnostic, matchedDN);
    return failure;
}

COperationFailure EntryChangedFailure(int nCode, const CString& diagnostic) {
    COperationFailure failure = LdapFailure(nCode, diagnostic);
    failure.strText = CString(kEntryChangedText) + (diagnostic.IsEmpty() ? LdapErrorText(nCode) : diagnostic);
    return failure;
}
