#pragma once
// The command line: --help, --version, and one source to open, an LDIF file
// or an ldap://, ldaps:// or ldapi:// URL, which the first login window shows filled in.

#include <QString>
#include <QStringList>

class QCommandLineParser;

struct CStartSource {
    enum EKind { kNone, kLdap, kLdif };
    EKind eKind = kNone;
    QString strServer;     // kLdap
    QString strPort;       // kLdap: the URL's port, or 389 (636 for ldaps://)
    bool bLdaps = false;   // kLdap: an ldaps:// URL
    QString strSearchBase; // kLdap: the URL's DN, decoded
    QString strLdifFile;   // kLdif: an absolute path
};

// The options and the argument the program takes.
void SetUpCommandLine(QCommandLineParser& parser);

// What the command line asks for, read before any window exists so that
// --help, --version and mistakes are answered without a display.
struct CCommandLine {
    enum EAction { kRun, kHelp, kVersion, kError };
    EAction eAction = kRun;
    QString strText;             // kHelp, kVersion: for stdout; kError: for stderr
    QStringList sources;         // kRun: the arguments after the options ("--" ends them)
    bool bPlatformGiven = false; // -platform names the window system itself
};
// arguments: as the program got them, its name first.
CCommandLine ParseCommandLine(const QStringList& arguments);

// A window system to start on: a display in the environment, a platform
// named by QT_QPA_PLATFORM or on the command line. Without one Qt would
// abort the program.
bool HasWindowSystem(const CCommandLine& commandLine);
// What a start without one says.
QString NoWindowSystemMessage();

// What an argument asks to open. FALSE with a message in error for an
// argument that names nothing Tarvo can open.
bool ParseStartSource(const QString& argument, CStartSource& source, QString& error);
