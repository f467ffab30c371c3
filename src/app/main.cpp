// Tarvo: a desktop browser and editor for LDAP directories.
#include "platform/Memory.h"
#include "session/CommandLine.h"
#include "session/TarvoApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    TuneAllocator();
    QCoreApplication::setOrganizationName(QStringLiteral("Brennick"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvo"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.03A"));

    // The command line is read before any window system is asked for: help,
    // the version and mistakes are answered without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CCommandLine commandLine = ParseCommandLine(arguments);
    switch (commandLine.eAction) {
    case CCommandLine::kHelp:
    case CCommandLine::kVersion:
        std::fputs(qPrintable(commandLine.strText), stdout);
        return 0;
    case CCommandLine::kError:
        std::fprintf(stderr, "tarvo: %s\nTry 'tarvo --help' for more information.\n",
                     qPrintable(commandLine.strText));
        return 1;
    case CCommandLine::kRun:
        break;
    }
    if (!HasWindowSystem(commandLine)) {
        std::fprintf(stderr, "tarvo: %s\n", qPrintable(NoWindowSystemMessage()));
        return 1;
    }

    QApplication app(argc, argv);
    CTarvoApp theApp;
    if (!theApp.InitInstance(commandLine.sources))
        return theApp.ExitInstance();
    const int nResult = QApplication::exec();
    theApp.ExitInstance();
    return nResult;
}
