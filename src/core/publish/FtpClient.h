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

    void connect();          // opens the control connection and logs in
    bool connected() const;
    void disconnect();       // QUIT, closes the session
    void changeDir(const QString &absolu);
    QList<FtpEntree> list(); // current directory
    // Replaces the local file; a file larger than `tailleMax` bytes (when > 0) is refused and
    // the session closed, the local file left as it was.
    void get(const QString &nomDistant, const QString &cheminLocal, qint64 tailleMax = 0);
    void put(const QString &cheminLocal, const QString &nomDistant); // into the current directory

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
