#include "source/LdapSource.h"

CDataSource* CreateLdapSource();

CDataSource* CreateLdapSource() {
    return new CLdapSource;
}
