#include "session/LoginSheet.h"

// The two sources' headers cannot share a translation unit, so each is
// created in a file of its own.
CDataSource* CreateLdapSource();
CDataSource* CreateLdifSource();

CDataSource* CreateDefaultSource(CLoginSheet::ESourceKind eKind) {
    return eKind == CLoginSheet::kLdapSource ? CreateLdapSource() : CreateLdifSource();
}
