#pragma once

#include "core/base/Annulation.h"
#include "core/publish/EchecFtp.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct CompteFtp;

struct FtpEntree
{
    enum class Type { Fichier, Repertoire, Autre };
    QString nom;            // for display and local names
    QByteArray brut;        // the name's bytes as listed, sent back as they are
    Type type = Type::Fichier;
    QDateTime modification; // local time; invalid when the server gave none
    bool sansFuseau = false; // LIST: the server's clock, zone unknown
    bool sansHeure = false;  // LIST of an old file: the day alone
};

struct Telechargement
{
    QByteArray nomBrut;
    QString cheminLocal;
    bool date = false; // also ask its exact date (MDTM) on the session that fetches it
};


// One session on a remote account, whatever the protocol. Paths are the account's: "/" is
// the directory the account opens on after login. Every failure throws FtpError.
class ClientDistant
{
public:
    virtual ~ClientDistant() = default;

    // Once `annulation` asks to stop, the running operation ends within a poll and fails with
    // CauseFtp::Annulee, the session closed. nullptr: never stopped.
    virtual void setAnnulation(const Annulation *annulation) = 0;
    virtual const Annulation *annulation() const = 0;
    // The account's host, port, login and protocol rules; a relative path of the account
    // (CertificatCA, CleSSH) is taken from `repertoireProgramme`.
    virtual void configurer(const CompteFtp &compte, const QString &repertoireProgramme) = 0;
    // Milliseconds a whole operation may take; 0: the account's own time-outs alone.
    virtual void setTransferTimeout(int ms) = 0;

    virtual void connect() = 0; // opens the session and logs in
    virtual bool connected() const = 0;
    virtual void disconnect() = 0;
    // Later listings and transfers use this directory ("/Rapport"); a missing one fails here.
    virtual void changeDir(const QString &chemin) = 0;
    // The current directory. An entry whose date is only approximate has `sansFuseau`:
    // dateExacte() tells it when a day boundary matters.
    virtual QList<FtpEntree> list() = 0;
    // The modification time to the second, in local time; invalid when the server gives none.
    virtual QDateTime dateExacte(const QByteArray &nomBrut) = 0;
    // Settles the approximate dates of `entrees` where the protocol can; returns those that may
    // still fall on either side of `limite`: each needs its dateExacte().
    virtual QList<qsizetype> datesListe(QList<FtpEntree> &entrees, const QDate &limite);
    // Replaces the local file once the whole file has arrived, never writing through a link in
    // its place; a file larger than `tailleMax` bytes (when > 0) is refused.
    virtual void get(const QByteArray &nomBrut, const QString &cheminLocal, qint64 tailleMax = 0) = 0;
    // From the current directory over up to `sessions` logins at once; one result per file,
    // in order. A file that fails does not stop the others. `termine` hears each file's index
    // and result as it ends. Cancelled, it throws (CauseFtp::Annulee) and leaves no partial file.
    // `dates` (when given) receives the exact date of the files marked `date`, invalid when none,
    // each set before `termine` hears of its file.
    virtual QList<ResultatFtp> getParallele(const QList<Telechargement> &fichiers, int sessions, qint64 tailleMax = 0,
                                            const std::function<void(qsizetype, const ResultatFtp &)> &termine = {},
                                            QList<QDateTime> *dates = nullptr) = 0;
    virtual void put(const QString &cheminLocal, const QString &nomDistant) = 0; // into the current directory
    virtual qint64 size(const QString &nomDistant) = 0;                         // -1: unknown
    virtual void rename(const QString &ancien, const QString &nouveau) = 0;
    virtual void remove(const QString &nomDistant) = 0;
    // Deletes `remplace` (a missing one is no failure), then renames: for servers that refuse
    // to rename onto an existing file.
    virtual void replace(const QString &ancien, const QString &remplace) = 0;
};

// The upload that never shows half a file: `nom` travels as ".NAME.partiel" in the same
// directory, its size is checked (sent once more when short), then it takes its name, by
// delete-then-rename where the server refuses to overwrite. A failure leaves `nom` as it
// was and removes the temporary file where the session still stands (over a new connection
// when the upload was cancelled).
void deposerEnEntier(ClientDistant &client, const QString &cheminLocal, const QString &nom);

// Connects, reads the login directory, and disconnects: the settings window's test.
ResultatFtp testerConnexion(ClientDistant &client);

// The client for an account, by its Protocole: FtpClient (plain or TLS) or SftpClient.
std::unique_ptr<ClientDistant> clientPourCompte(const CompteFtp &compte);

// Logs `client` in to an account of Halvenor.ini (`section` names it when its Host is empty),
// with the account's rules: TLS for FTP, the host key for SFTP. The one way every session connects.
// Relative certificate and key paths are taken from `repertoireProgramme`.
ResultatFtp connecterCompte(ClientDistant &client, const CompteFtp &compte, const QString &section,
                            const QString &repertoireProgramme);
