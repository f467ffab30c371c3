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

// What an argument asks to open. FALSE with a message in error for an
// argument that names nothing Tarvo can open.
bool ParseStartSource(const QString& argument, CStartSource& source, QString& error);
