#pragma once

#include "core/base/Erreurs.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

// Every FTP failure: curl's text followed by the server's last reply line.
class FtpError : public HalvenorError
{
public:
    using HalvenorError::HalvenorError;
};

// Authentication refused by the server (at connection or on a silent re-login).
class EIdFTPAUTHException : public FtpError
{
public:
    using FtpError::FtpError;
};

struct FtpEntree
{
    enum class Type { Fichier, Repertoire, Autre };
    QString nom;
    Type type = Type::Fichier;
    QDateTime modification; // local time; invalid when the server gave none
};

// Bytes from the server (names, reply lines): UTF-8 when valid, else windows-1252.
QString texteServeur(const QByteArray &octets);

// Listing parsers, pure functions: MLSD lines, and LIST lines in the Unix and MS-DOS forms.
// `maintenant` decides the year of Unix dates given without one.
QList<FtpEntree> analyserMlsd(const QByteArray &texte);
QList<FtpEntree> analyserList(const QByteArray &texte, const QDateTime &maintenant);

// One FTP session over libcurl: one object per caller, passive mode, binary transfers.
class FtpClient
{
public:
    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    void setHost(const QString &host);
    void setPort(int port);
    void setUsername(const QString &user);
    void setPassword(const QString &password);
    void setTransferTimeout(int ms); // 0: no time-out of ours
    void setPassive(bool passive);
    void setBinary(bool binary);
    // true: explicit TLS (AUTH TLS) is required on the control connection and the data
    // connections are protected (PROT P); a server without TLS fails the connection.
    void setTls(bool tls);
    // A PEM file of certificate authorities (or the server's own certificate) trusted
    // besides the system store; empty: the system store alone. Names and chains are always checked.
    void setCertificatCA(const QString &chemin);

    void connect();          // opens the control connection and logs in
    bool connected() const;
    void disconnect();       // QUIT, closes the session
    void changeDir(const QString &absolu);
    QList<FtpEntree> list(); // current directory
    void get(const QString &nomDistant, const QString &cheminLocal); // replaces the local file
    void put(const QString &cheminLocal, const QString &nomDistant); // into the current directory
    // SIZE of a file of the current directory; -1 when the server gives none.
    qint64 size(const QString &nomDistant);
    void rename(const QString &ancien, const QString &nouveau); // RNFR, RNTO
    void remove(const QString &nomDistant);                      // DELE
    // DELE of `remplace` (a missing one is no failure), then RNFR and RNTO: for servers that
    // refuse to rename onto an existing file.
    void replace(const QString &ancien, const QString &remplace);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
