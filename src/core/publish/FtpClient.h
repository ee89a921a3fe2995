#pragma once

#include "core/base/Annulation.h"
#include "core/publish/ClientDistant.h"
#include "core/publish/EchecFtp.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// For tests: seconds without any answer before an operation fails (60 otherwise).
void definirDelaiReponseFtp(int secondes);

// Bytes from the server (names, reply lines): UTF-8 when valid, else windows-1252.
QString texteServeur(const QByteArray &octets);

// Dates of MLSD facts and MDTM answers: UTC ("20240331023000", fraction allowed), returned in
// local time; invalid when unreadable. dateMdtm takes the whole reply ("213 20240331023000").
QDateTime dateUtcFtp(const QByteArray &valeur);
QDateTime dateMdtm(const QByteArray &reponse);
// A LIST date (no zone) within a day of the J- limit may fall on either side of it: only
// those are worth an MDTM.
bool dateListeIncertaine(const QDateTime &dateListe, const QDate &limite);
// The server's LIST clock minus UTC, in seconds, learnt from one file's LIST time and its
// MDTM (UTC); LIST times have no seconds, so the difference is rounded to a quarter hour.
qint64 decalageListe(const QDateTime &dateListe, const QDateTime &mdtmLocale);
// A LIST time read in the server's clock, `decalage` seconds ahead of UTC: in local time.
QDateTime dateListeCorrigee(const QDateTime &dateListe, qint64 decalage);
// With the zone known, only a time this close to the day that starts the J- limit can fall on
// either side of it (the minute LIST drops, a zone that changed since the sample).
constexpr qint64 MargeListeSecondes = 5 * 60;
bool dateCorrigeeIncertaine(const QDateTime &dateLocale, const QDate &limite);

// Listing parsers, pure functions: MLSD lines, and LIST lines in the Unix and MS-DOS forms.
// `maintenant` decides the year of Unix dates given without one.
QList<FtpEntree> analyserMlsd(const QByteArray &texte);
QList<FtpEntree> analyserList(const QByteArray &texte, const QDateTime &maintenant);

// One FTP session over libcurl: one object per caller, passive mode, binary transfers.
class FtpClient final : public ClientDistant
{
public:
    FtpClient();
    ~FtpClient() override;
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    void setHost(const QString &host);
    void setPort(int port);
    void setUsername(const QString &user);
    void setPassword(const QString &password);
    void setTransferTimeout(int ms) override; // 0: no time-out of ours
    void setPassive(bool passive);
    void setBinary(bool binary);
    // true: explicit TLS (AUTH TLS) is required on the control connection and the data
    // connections are protected (PROT P); a server without TLS fails the connection.
    void setTls(bool tls);
    // A PEM file of certificate authorities (or the server's own certificate) trusted
    // besides the system store; empty: the system store alone. Names and chains are always checked.
    void setCertificatCA(const QString &chemin);
    void configurer(const CompteFtp &compte, const QString &repertoireProgramme) override;
    // Once `annulation` asks to stop, the running transfer or command ends within a poll
    // (libcurl's progress call) and fails with CauseFtp::Annulee. nullptr: never stopped.
    void setAnnulation(const Annulation *annulation) override;
    const Annulation *annulation() const override;

    void connect() override; // opens the control connection and logs in
    bool connected() const override;
    void disconnect() override; // QUIT, closes the session
    void changeDir(const QString &absolu) override;
    QList<FtpEntree> list() override; // current directory
    // Replaces the local file, never writing through a link in its place; a file larger than
    // `tailleMax` bytes (when > 0) is refused and the session closed, the local file left as it was.
    void get(const QByteArray &nomBrut, const QString &cheminLocal, qint64 tailleMax = 0) override;
    void get(const QString &nomDistant, const QString &cheminLocal, qint64 tailleMax = 0)
    {
        get(nomDistant.toUtf8(), cheminLocal, tailleMax);
    }
    // Downloads from the current directory over up to `sessions` logins at once; one result
    // per file, in the same order. A file that fails does not stop the others; each is capped
    // at `tailleMax` bytes like get(). `termine` hears each file's index and result as it ends,
    // on the calling thread. Cancelled, it throws FtpError (CauseFtp::Annulee) and leaves no
    // partial file. Sessions refused at login (421, 530, refused connection) are given up, down
    // to the first; a file whose session is cut or told 421 goes to another before it counts as
    // failed. `dates` (when given) receives the MDTM of the files marked `date`, invalid when none.
    QList<ResultatFtp> getParallele(const QList<Telechargement> &fichiers, int sessions, qint64 tailleMax = 0,
                                    const std::function<void(qsizetype, const ResultatFtp &)> &termine = {},
                                    QList<QDateTime> *dates = nullptr) override;
    // LIST dates of `entrees` (MLSD ones are left alone): the server's zone is learnt from one
    // file's MDTM (the next nearest the limit when one is refused, three at most) and applied
    // to every line. Returns the entries whose date may still fall on
    // either side of `limite`: those need their own MDTM. Without MDTM, every LIST date near
    // the limit is returned, as before the zone was learnt.
    QList<qsizetype> datesListe(QList<FtpEntree> &entrees, const QDate &limite) override;
    // MDTM (UTC, RFC 3659) in local time; invalid when the server gives none.
    QDateTime mdtm(const QByteArray &nomBrut);
    QDateTime dateExacte(const QByteArray &nomBrut) override { return mdtm(nomBrut); }
    void put(const QString &cheminLocal, const QString &nomDistant) override; // into the current directory
    // SIZE of a file of the current directory; -1 when the server gives none.
    qint64 size(const QString &nomDistant) override;
    void rename(const QString &ancien, const QString &nouveau) override; // RNFR, RNTO
    void remove(const QString &nomDistant) override; // DELE
    // DELE of `remplace` (a missing one is no failure), then RNFR and RNTO: for servers that
    // refuse to rename onto an existing file.
    void replace(const QString &ancien, const QString &remplace) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

