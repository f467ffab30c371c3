#include "session/LoginSheet.h"

#include "ldif/LdifSource.h"
#include "source/LdapSource.h"

CDataSource* CreateDefaultSource(CLoginSheet::ESourceKind eKind) {
    if (eKind == CLoginSheet::kLdapSource)
        return new CLdapSource;
    return new CLdifSource;
}
