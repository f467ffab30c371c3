// Tarvo: a desktop browser and editor for LDAP directories.
#include "session/TarvoApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brennick"));
    QApplication::setApplicationName(QStringLiteral("Tarvo"));

    CTarvoApp theApp;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    if (!theApp.InitInstance(arguments))
        return theApp.ExitInstance();
    const int nResult = QApplication::exec();
    theApp.ExitInstance();
    return nResult;
}
