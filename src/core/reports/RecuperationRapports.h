#pragma once

#include "core/base/Chemins.h"
#include "core/base/Progression.h"
#include "core/config/Parametres.h"
#include "core/publish/ClientDistant.h"
#include "core/reports/RapportMajAuto.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Messages;

// A report is a few kilobytes, a long history a few hundred: a bigger file is refused.
constexpr qint64 TailleRapportMax = 16 << 20;

// The report account of Halvenor.ini.
using CompteRapport = CompteFtp;

// Read once when the report window opens; a missing file leaves the defaults.
CompteRapport LireCompteRapport(const QString &fichierIni);

// Empties the local report folders (only when the history folder exists, so a first use on
// this machine deletes nothing) and creates them again.
void PreparerRepertoireRapport(const Chemins &chemins);
// Deletes a folder and everything under it. A symbolic link is removed as an entry:
// what it points to is left alone. Whatever cannot be deleted stays, silently.
void SupprimerRepertoire(const QString &chemin);

// The report window's own FTP or SFTP session (ftpMaj) on the report account, downloading into the
// Rapport/ folders of `chemins`. A cancelled step (ftpMaj's Annulation) shows no message.
class SessionRapport
{
public:
    SessionRapport(CompteRapport compte, Chemins chemins, Messages &messages);
    ~SessionRapport(); // ends a session still open, without a word
    SessionRapport(const SessionRapport &) = delete;
    SessionRapport &operator=(const SessionRapport &) = delete;

    // True when a session is open on return; an open session is reused as it is.
    // A failure is shown through the messages and gives false.
    bool ConnexionFTPRapport();
    // True when a session was closed; a failure is shown and gives false.
    bool DeconnexionFTPRapport();

    // The report files of /Rapport in listing order. Entries whose name could not be used
    // as a local file name are left out. Errors are thrown.
    QList<FtpEntree> ListerRapports();
    // Downloads one report into RepertoireRapport, replacing a local copy.
    void TelechargerRapport(const FtpEntree &entree);
    // Downloads them all over up to sessionsParalleles() logins (the account's Connexions);
    // one result per entry. `termine` hears each one as it ends. The entries listed in `dates`
    // get their exact date (MDTM) too, set before `termine` hears of them.
    QList<ResultatFtp> TelechargerRapports(QList<FtpEntree> &entrees,
                                           const std::function<void(qsizetype, const ResultatFtp &)> &termine = {},
                                           const QList<qsizetype> &dates = {});
    void setSessionsParalleles(int n) { m_sessions = n; }
    // The first history file of /Rapport/Historique for this identifier, downloaded into
    // RepertoireHistorique on every request; nothing when there is none. Leaves the session open.
    std::optional<QString> RecupererHistorique(const QString &identifiant);

    const CompteRapport &compte() const { return m_compte; }
    const Chemins &cheminsLocaux() const { return m_chemins; }
    ClientDistant &ftpMaj() { return *m_ftp; }

private:
    QList<FtpEntree> lister(const QString &repertoire);

    CompteRapport m_compte;
    Chemins m_chemins;
    Messages &m_messages;
    std::unique_ptr<ClientDistant> m_ftp; // FTP or SFTP, by the account
    int m_sessions = CompteFtp::ConnexionsParDefaut;
};

// One line of the report list.
struct LigneRapport
{
    QString identifiant;
    QString fichier;   // server file name, also the local copy's name
    bool enErreur = false;
    QString texte;
    QDateTime date;  // the report's own date; invalid when it could not be read
    QString motif;   // why the line is red, in one line; empty when green
    int rang = 0;    // position in the server's listing
};

// One refresh of the report list, shared by the report window and halvenor-cli.
// While `rapportsRecuperes` is false the local folders are prepared first and every report is
// downloaded; a report that fails to download gets a red line and the others go on; the flag
// is set once every file was tried. Lines come in listing order, each as soon as it and those
// before it are read, so lines read before an error after the listing (thrown) or a
// cancellation (the session's Annulation) stay, and the flag stays false. `progression`
// counts the reports downloaded. `jours` is the tolerance in days, "today" comes from
// horloge(). Returns false when the connection failed (already shown through the messages)
// or the refresh was cancelled.
bool ChargerRapports(SessionRapport &session, bool &rapportsRecuperes, int jours,
                     const std::function<void(const LigneRapport &)> &ajouter, Progression *progression = nullptr);

// Shown when a franchisee has no readable history.
inline QString texteSansHistorique(const QString &identifiant)
{
    return QStringLiteral("Il n'y a pas d'historique pour le franchisé ") + identifiant;
}
