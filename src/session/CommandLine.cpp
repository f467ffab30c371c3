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
