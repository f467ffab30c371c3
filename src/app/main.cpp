// Tarvo: a desktop browser and editor for LDAP directories.
#include "platform/Memory.h"
#include "session/CommandLine.h"
#include "session/TarvoApp.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[]) {
    TuneAllocator();
    QCoreApplication::setOrganizationName(QStringLiteral("Brennick"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvo"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.03A"));
    QCommandLineParser parser;
    SetUpCommandLine(parser);

    // --help and --version answer without a display.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    for (const QString& argument : rawArguments.mid(1)) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
            argument == QLatin1String("--version") || argument == QLatin1String("-v"))
            parser.process(rawArguments);
    }

    QApplication app(argc, argv);
    parser.process(app);
    const QStringList sources = parser.positionalArguments();
    QString error;
    CStartSource source;
    if (sources.size() > 1)
        error = QStringLiteral("Only one LDIF file or LDAP URL can be opened.");
    else if (!sources.isEmpty())
        ParseStartSource(sources.first(), source, error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tarvo: %s\n", qPrintable(error));
        return 1;
    }

    CTarvoApp theApp;
    if (!theApp.InitInstance(sources))
        return theApp.ExitInstance();
    const int nResult = QApplication::exec();
    theApp.ExitInstance();
    return nResult;
}
