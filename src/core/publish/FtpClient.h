#pragma once

#include "core/base/Annulation.h"
#include "core/publish/EchecFtp.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct FtpEntree
{
    enum class Type { Fichier, Repertoire, Autre };
    QString nom;            // for display and local names
    QByteArray brut;        // the name's bytes as listed, sent back as they are
    Type type = Type::Fichier;
    QDateTime modification; // local time; invalid when the server gave none
    bool sansFuseau = false; // LIST: the server's clock, zone unknown
};

// For tests: seconds without any answer before an operation fails (60 otherwise).
void definirDelaiReponseFtp(int secondes);

struct Telechargement
{
    QByteArray nomBrut;
    QString cheminLocal;
};

// Bytes from the server (names, reply lines): UTF-8 when valid, else windows-1252.
QString texteServeur(const QByteArray &octets);

// Dates of MLSD facts and MDTM answers: UTC ("20240331023000", fraction allowed), returned in
// local time; invalid when unreadable. dateMdtm takes the whole reply ("213 20240331023000").
QDateTime dateUtcFtp(const QByteArray &valeur);
QDateTime dateMdtm(const QByteArray &reponse);
// A LIST date (no zone) within a day of the J- limit may fall on either side of it: only
// those are worth an MDTM.
bool dateListeIncertaine(const QDateTime &dateListe, const QDate &limite);

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
    // Once `annulation` asks to stop, the running transfer or command ends within a poll
    // (libcurl's progress call) and fails with CauseFtp::Annulee. nullptr: never stopped.
    void setAnnulation(const Annulation *annulation);
    const Annulation *annulation() const;

    void connect();          // opens the control connection and logs in
    bool connected() const;
    void disconnect();       // QUIT, closes the session
    void changeDir(const QString &absolu);
    QList<FtpEntree> list(); // current directory
    // Replaces the local file, never writing through a link in its place; a file larger than
    // `tailleMax` bytes (when > 0) is refused and the session closed, the local file left as it was.
    void get(const QByteArray &nomBrut, const QString &cheminLocal, qint64 tailleMax = 0);
    void get(const QString &nomDistant, const QString &cheminLocal, qint64 tailleMax = 0)
    {
        get(nomDistant.toUtf8(), cheminLocal, tailleMax);
    }
    // Downloads from the current directory over up to `sessions` logins at once; one result
    // per file, in the same order. A file that fails does not stop the others; each is capped
    // at `tailleMax` bytes like get(). `termine` hears each file's index and result as it ends.
    // Cancelled, it throws FtpError (CauseFtp::Annulee) and leaves no partial file.
    QList<ResultatFtp> getParallele(const QList<Telechargement> &fichiers, int sessions, qint64 tailleMax = 0,
                                    const std::function<void(qsizetype, const ResultatFtp &)> &termine = {});
    // MDTM (UTC, RFC 3659) in local time; invalid when the server gives none.
    QDateTime mdtm(const QByteArray &nomBrut);
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

struct CompteFtp;

// Logs `client` in to an account of Halvenor.ini (`section` names it when its Host is empty),
// with the account's TLS rules. The one way every session connects.
ResultatFtp connecterCompte(FtpClient &client, const CompteFtp &compte, const QString &section);
