#include "session/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

void SetUpCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral("Browse and edit LDAP directories and LDIF files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("source"),
        QStringLiteral("An LDIF file, or a server as ldap://host:port/base (also ldaps:// "
                       "and ldapi://), to show filled in in the login window."),
        QStringLiteral("[FILE.ldif | ldap://host:port/base]"));
}

bool ParseStartSource(const QString& argument, CStartSource& source, QString& error) {
    source = CStartSource();
    if (argument.isEmpty())
        return true;
    const qsizetype nScheme = argument.indexOf(QStringLiteral("://"));
    if (nScheme < 0) {
        source.eKind = CStartSource::kLdif;
        source.strLdifFile = QFileInfo(argument).absoluteFilePath();
        return true;
    }
    const QUrl url(argument, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("ldap") && scheme != QLatin1String("ldaps") &&
        scheme != QLatin1String("ldapi")) {
        error = QStringLiteral("Only ldap://, ldaps:// and ldapi:// URLs can be opened: %1").arg(argument);
        return false;
    }
    source.eKind = CStartSource::kLdap;
    if (scheme == QLatin1String("ldapi")) {
        // The socket's path stays percent-encoded in the server field, as
        // the connection takes it.
        const qsizetype nStart = argument.indexOf(QStringLiteral("://")) + 3;
        const qsizetype nEnd = argument.indexOf(QLatin1Char('/'), nStart);
        source.strServer = QStringLiteral("ldapi://") + argument.mid(nStart, nEnd < 0 ? -1 : nEnd - nStart);
        source.strPort = QStringLiteral("389");
    } else {
        if (!url.isValid() || url.host().isEmpty()) {
            error = QStringLiteral("Not a usable LDAP URL: %1").arg(argument);
            return false;
        }
        source.bLdaps = scheme == QLatin1String("ldaps");
        source.strServer = url.host();
        source.strPort = QString::number(url.port(source.bLdaps ? 636 : 389));
    }
    // The DN is the path after the first slash; what follows "?" (attributes,
    // scope, filter) has no place in the login window.
    QString base = url.path(QUrl::FullyDecoded);
    if (base.startsWith(QLatin1Char('/')))
        base.remove(0, 1);
    source.strSearchBase = base;
    return true;
}

namespace {

// Options of Qt's own that QApplication takes off the command line, and
// whether each is followed by a value.
struct CQtOption {
    const char* pszName;
    bool bValue;
};
const CQtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowtitle", true},
    {"qwindowicon", true},     {"display", true},
    {"geometry", true},        {"style", true},
    {"stylesheet", true},      {"session", true},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
    {"sync", false},
};

// The Qt option an argument starts, with the length of "-name" or "--name".
const CQtOption* FindQtOption(const QString& argument, bool& bInlineValue) {
    QString name = argument;
    name.remove(0, name.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype nEqual = name.indexOf(QLatin1Char('='));
    bInlineValue = nEqual >= 0;
    if (bInlineValue)
        name.truncate(nEqual);
    for (const CQtOption& option : kQtOptions) {
        if (name == QLatin1String(option.pszName))
            return &option;
    }
    return nullptr;
}

} // namespace

CCommandLine ParseCommandLine(const QStringList& arguments) {
    CCommandLine result;
    const QString program =
        arguments.isEmpty() ? QStringLiteral("tarvo") : QFileInfo(arguments.first()).fileName();
    // Qt's own options go to QApplication; ours and the source are read here.
    QStringList ours;
    ours << program;
    bool bOptionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!bOptionsEnded && argument == QLatin1String("--"))
            bOptionsEnded = true;
        bool bInlineValue = false;
        const CQtOption* pQtOption = nullptr;
        if (!bOptionsEnded && argument.startsWith(QLatin1Char('-')))
            pQtOption = FindQtOption(argument, bInlineValue);
        if (!pQtOption) {
            ours << argument;
            continue;
        }
        if (qstrcmp(pQtOption->pszName, "platform") == 0)
            result.bPlatformGiven = true;
        if (pQtOption->bValue && !bInlineValue)
            ++i;
    }

    QCommandLineParser parser;
    SetUpCommandLine(parser);
    if (!parser.parse(ours)) {
        result.eAction = CCommandLine::kError;
        result.strText = parser.errorText();
        return result;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        result.eAction = CCommandLine::kHelp;
        // The name the program was started by (Qt knows none before the
        // application object exists).
        result.strText = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const qsizetype nStart = result.strText.indexOf(usage);
        const qsizetype nEnd =
            nStart < 0 ? -1 : result.strText.indexOf(QLatin1Char(' '), nStart + usage.size());
        if (nEnd > 0)
            result.strText.replace(nStart + usage.size(), nEnd - nStart - usage.size(), program);
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.eAction = CCommandLine::kVersion;
        result.strText = QStringLiteral("Tarvo 1.03A\n");
        return result;
    }
    result.sources = parser.positionalArguments();
    if (result.sources.size() > 1) {
        result.eAction = CCommandLine::kError;
        result.strText = QStringLiteral("Only one LDIF file or LDAP URL can be opened.");
        result.sources.clear();
        return result;
    }
    if (!result.sources.isEmpty()) {
        CStartSource source;
        if (!ParseStartSource(result.sources.first(), source, result.strText)) {
            result.eAction = CCommandLine::kError;
            result.sources.clear();
        }
    }
    return result;
}

bool HasWindowSystem(const CCommandLine& commandLine) {
    return commandLine.bPlatformGiven || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QString NoWindowSystemMessage() {
    return QStringLiteral("No display to show the window on: DISPLAY and WAYLAND_DISPLAY are not set. "
                          "Start Tarvo inside a desktop session, or under a virtual one (xvfb-run tarvo).");
}
