#include "ldif/LdifSource.h"

CDataSource* CreateLdifSource();

CDataSource* CreateLdifSource() {
    return new CLdifSource;
}
