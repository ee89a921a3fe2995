#include "core/reports/RecuperationRapports.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/base/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

CompteRapport LireCompteRapport(const QString &fichierIni)
{
    return Parametres::lire(fichierIni).rapport;
}

void SupprimerRepertoire(const QString &chemin)
{
    QString dossier = chemin;
    while (dossier.size() > 1 && dossier.endsWith(u'/'))
        dossier.chop(1);
    if (dossier.isEmpty())
        return;
    // removeRecursively() removes the links it finds inside without following them, but
    // given a link itself it would empty the folder it points to.
    if (QFileInfo(dossier).isSymLink()) {
        QFile::remove(dossier);
        return;
    }
    QDir(dossier).removeRecursively();
}

void PreparerRepertoireRapport(const Chemins &c)
{
    if (QFileInfo::exists(c.RepertoireHistorique))
        SupprimerRepertoire(c.RepertoireRapport);
    QDir().mkpath(c.RepertoireHistorique);
}

SessionRapport::SessionRapport(CompteRapport compte, Chemins chemins, Messages &messages)
    : m_compte(std::move(compte)), m_chemins(std::move(chemins)), m_messages(messages), m_ftp(clientPourCompte(m_compte)), m_sessions(m_compte.connexions)
{
}

SessionRapport::~SessionRapport()
{
    if (!m_ftp->connected())
        return;
    try {
        m_ftp->disconnect();
    } catch (...) {
        // Closing the window: there is no one left to tell.
    }
}

bool SessionRapport::ConnexionFTPRapport()
{
    if (m_ftp->connected())
        return true;
    const ResultatFtp r = connecterCompte(*m_ftp, m_compte, Parametres::nomSection(Parametres::Rapport),
                                            m_chemins.RepertoireProgramme);
    if (r)
        return true;
    if (r.echec().annulee())
        return false;
    const QString message = r.echec().texte().trimmed();
    m_messages.afficher(message.isEmpty()
                            ? QStringLiteral("Impossible de se connecter au serveur FTP !")
                            : QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ") + message);
    return false;
}

bool SessionRapport::DeconnexionFTPRapport()
{
    if (!m_ftp->connected())
        return false;
    const ResultatFtp r = etapeFtp([this] { m_ftp->disconnect(); });
    if (r)
        return true;
    if (r.echec().annulee())
        return false;
    const QString message = r.echec().texte().trimmed();
    m_messages.afficher(message.isEmpty()
                            ? QStringLiteral("Une erreur est survenue lors de la déconnexion.")
                            : QStringLiteral("Une erreur est survenue lors de la déconnexion : ") + message);
    return false;
}

QList<FtpEntree> SessionRapport::lister(const QString &repertoire)
{
    m_ftp->changeDir(repertoire);
    QList<FtpEntree> rapports;
    for (const FtpEntree &e : m_ftp->list()) {
        // A server-given name becomes a local path: one that could climb out of our
        // folders is never used.
        if (e.type == FtpEntree::Type::Fichier && estFichierRapport(e.nom) && nomLocalSur(e.nom))
            rapports << e;
    }
    return rapports;
}

QList<FtpEntree> SessionRapport::ListerRapports()
{
    return lister(QStringLiteral("/Rapport"));
}

void SessionRapport::TelechargerRapport(const FtpEntree &entree)
{
    m_ftp->get(entree.brut, m_chemins.RepertoireRapport + entree.nom, TailleRapportMax);
}

QList<ResultatFtp> SessionRapport::TelechargerRapports(QList<FtpEntree> &entrees,
                                                       const std::function<void(qsizetype, const ResultatFtp &)> &termine,
                                                       const QList<qsizetype> &dates)
{
    QList<Telechargement> fichiers;
    fichiers.reserve(entrees.size());
    for (const FtpEntree &e : entrees)
        fichiers << Telechargement{e.brut, m_chemins.RepertoireRapport + e.nom};
    for (const qsizetype i : dates)
        fichiers[i].date = true;
    // An exact date is in its entry before the entry is heard of.
    QList<QDateTime> exactes(entrees.size());
    return m_ftp->getParallele(
        fichiers, m_sessions, TailleRapportMax,
        [&](qsizetype i, const ResultatFtp &r) {
            if (exactes[i].isValid())
                entrees[i].modification = exactes[i];
            if (termine)
                termine(i, r);
        },
        &exactes);
}

std::optional<QString> SessionRapport::RecupererHistorique(const QString &identifiant)
{
    for (const FtpEntree &e : lister(QStringLiteral("/Rapport/Historique"))) {
        if (identifiantRapport(e.nom) != identifiant)
            continue;
        QDir().mkpath(m_chemins.RepertoireHistorique);
        const QString local = m_chemins.RepertoireHistorique + e.nom;
        m_ftp->get(e.brut, local, TailleRapportMax);
        return local;
    }
    return std::nullopt;
}

bool ChargerRapports(SessionRapport &session, bool &rapportsRecuperes, int jours,
                     const std::function<void(const LigneRapport &)> &ajouter, Progression *progression)
{
    const Annulation *annulation = session.ftpMaj().annulation();
    if (!rapportsRecuperes)
        PreparerRepertoireRapport(session.cheminsLocaux());
    if (!session.ConnexionFTPRapport())
        return false;
    QList<FtpEntree> entrees = session.ListerRapports();
    const QDate aujourdhui = horloge().maintenant().date();
    // A LIST date is in the server's zone: learnt once, then only a date on the edge of the
    // limit needs its own MDTM, asked by the download that fetches the file.
    const QList<qsizetype> incertaines = session.ftpMaj().datesListe(entrees, aujourdhui.addDays(-jours));
    if (rapportsRecuperes) {
        for (const qsizetype i : incertaines) {
            if (annulee(annulation))
                return false;
            if (const QDateTime exacte = session.ftpMaj().dateExacte(entrees[i].brut); exacte.isValid())
                entrees[i].modification = exacte;
        }
    }
    if (progression) {
        progression->definirPosition(0);
        progression->definirMaximum(static_cast<int>(entrees.size()));
    }
    TNativeXMLDocument document(RacineMajAuto);
    QList<std::optional<ResultatFtp>> telecharges(entrees.size());
    qsizetype prochaine = 0;
    const auto ligneSuivante = [&] {
        const FtpEntree &e = entrees[prochaine];
        const std::optional<ResultatFtp> &telecharge = telecharges[prochaine];
        ++prochaine;
        LigneRapport ligne;
        ligne.rang = static_cast<int>(prochaine - 1);
        ligne.fichier = e.nom;
        ligne.identifiant = identifiantRapport(e.nom);
        if (telecharge && !*telecharge) {
            ligne.enErreur = true;
            ligne.texte = DebutTelechargementImpossible + e.nom + QStringLiteral(" (") + telecharge->echec().texte()
                + u')';
            ligne.motif = ligne.texte;
        } else {
            const LectureRapport lecture =
                LireRapportCourant(document, session.cheminsLocaux().RepertoireRapport + e.nom, aujourdhui);
            ligne.texte = lecture.texte;
            ligne.date = lecture.date;
            const bool recent = !lecture.lu || RapportRecent(lecture.date, e.modification, jours, aujourdhui);
            ligne.enErreur = lecture.sectionsEnErreur || !recent;
            ligne.motif = motifRapport(lecture, recent);
        }
        ajouter(ligne);
    };
    if (!rapportsRecuperes) {
        // One file that fails gets its red line; the others go on. Each line goes out once
        // the files before it are in, so the list fills in listing order as they arrive.
        session.TelechargerRapports(
            entrees,
            [&](qsizetype i, const ResultatFtp &r) {
                telecharges[i] = r;
                if (progression)
                    progression->avancer();
                while (prochaine < entrees.size() && telecharges[prochaine])
                    ligneSuivante();
            },
            incertaines);
    }
    while (prochaine < entrees.size()) {
        if (annulee(annulation))
            return false;
        ligneSuivante();
    }
    rapportsRecuperes = true;
    session.DeconnexionFTPRapport();
    return true;
}
