#include "session/LoginSheet.h"

#if __has_include("source/LdapSource.h")
#include "source/LdapSource.h"
#define TARVO_HAVE_LDAP_SOURCE 1
#endif
#if __has_include("ldif/LdifSource.h")
#include "ldif/LdifSource.h"
#define TARVO_HAVE_LDIF_SOURCE 1
#endif

CDataSource* CreateDefaultSource(CLoginSheet::ESourceKind eKind) {
    switch (eKind) {
    case CLoginSheet::kLdapSource:
#ifdef TARVO_HAVE_LDAP_SOURCE
        return new CLdapSource;
#else
        return nullptr;
#endif
    case CLoginSheet::kLdifSource:
#ifdef TARVO_HAVE_LDIF_SOURCE
        return new CLdifSource;
#else
        return nullptr;
#endif
    }
    return nullptr;
}
