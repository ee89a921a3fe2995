#include "core/reports/RecuperationRapports.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/base/Messages.h"
#include "core/config/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString SectionRapport = QStringLiteral("Halvenor_Rapport");
}

CompteRapport LireCompteRapport(const QString &fichierIni)
{
    CompteRapport c;
    IniFile ini(fichierIni);
    if (!ini.existe())
        return c;
    c.Host = ini.readString(SectionRapport, QStringLiteral("Host"), QString());
    c.Login = ini.readString(SectionRapport, QStringLiteral("Login"), QString());
    c.Mdp = ini.readString(SectionRapport, QStringLiteral("Mdp"), QString());
    c.Port = ini.readInteger(SectionRapport, QStringLiteral("Port"), 21);
    return c;
}

void SupprimerRepertoire(const QString &chemin)
{
    QString dossier = chemin;
    while (dossier.size() > 1 && dossier.endsWith(u'/'))
        dossier.chop(1);
    const QFileInfo info(dossier);
    if (info.isSymLink()) {
        QFile::remove(dossier);
        return;
    }
    QDir d(dossier);
    const QFileInfoList entrees = d.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &e : entrees) {
        if (e.isSymLink())
            QFile::remove(e.filePath()); // the link goes, its target stays
        else if (e.isDir())
            SupprimerRepertoire(e.filePath());
        else
            QFile::remove(e.filePath());
    }
    QDir().rmdir(dossier);
}

void PreparerRepertoireRapport()
{
    const Chemins &c = chemins();
    if (QFileInfo::exists(c.RepertoireHistorique))
        SupprimerRepertoire(c.RepertoireRapport);
    QDir().mkpath(c.RepertoireHistorique);
}

SessionRapport::SessionRapport(CompteRapport compte, Messages &messages)
    : m_compte(std::move(compte)), m_messages(messages)
{
}

SessionRapport::~SessionRapport()
{
    if (!m_ftp.connected())
        return;
    try {
        m_ftp.disconnect();
    } catch (...) {
        // Closing the window: there is no one left to tell.
    }
}

namespace {
QString messageDe(const std::exception &e)
{
    return texteErreur(e).trimmed();
}
} // namespace

bool SessionRapport::ConnexionFTPRapport()
{
    if (m_ftp.connected())
        return true;
    m_ftp.setHost(m_compte.Host);
    m_ftp.setUsername(m_compte.Login);
    m_ftp.setPassword(m_compte.Mdp);
    m_ftp.setPort(m_compte.Port);
    m_ftp.setTransferTimeout(0);
    QString message;
    try {
        m_ftp.connect();
        return true;
    } catch (const std::exception &e) {
        message = messageDe(e);
    } catch (...) {
    }
    m_messages.afficher(message.isEmpty()
                            ? QStringLiteral("Impossible de se connecter au serveur FTP !")
                            : QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ") + message);
    return false;
}

bool SessionRapport::DeconnexionFTPRapport()
{
    if (!m_ftp.connected())
        return false;
    QString message;
    try {
        m_ftp.disconnect();
        return true;
    } catch (const std::exception &e) {
        message = messageDe(e);
    } catch (...) {
    }
    m_messages.afficher(message.isEmpty()
                            ? QStringLiteral("Une erreur est survenue lors de la déconnexion.")
                            : QStringLiteral("Une erreur est survenue lors de la déconnexion : ") + message);
    return false;
}

QList<FtpEntree> SessionRapport::lister(const QString &repertoire)
{
    m_ftp.changeDir(repertoire);
    m_ftp.setBinary(true);
    m_ftp.setPassive(true);
    QList<FtpEntree> rapports;
    for (const FtpEntree &e : m_ftp.list()) {
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
    m_ftp.get(entree.nom, chemins().RepertoireRapport + entree.nom, TailleRapportMax);
}

std::optional<QString> SessionRapport::RecupererHistorique(const QString &identifiant)
{
    for (const FtpEntree &e : lister(QStringLiteral("/Rapport/Historique"))) {
        if (identifiantRapport(e.nom) != identifiant)
            continue;
        QDir().mkpath(chemins().RepertoireHistorique);
        const QString local = chemins().RepertoireHistorique + e.nom;
        m_ftp.get(e.nom, local, TailleRapportMax);
        return local;
    }
    return std::nullopt;
}

bool ChargerRapports(SessionRapport &session, bool &rapportsRecuperes, int jours,
                     const std::function<void(const LigneRapport &)> &ajouter)
{
    if (!rapportsRecuperes)
        PreparerRepertoireRapport();
    if (!session.ConnexionFTPRapport())
        return false;
    const QList<FtpEntree> entrees = session.ListerRapports();
    TNativeXMLDocument document(RacineMajAuto);
    const QDate aujourdhui = horloge().maintenant().date();
    for (const FtpEntree &e : entrees) {
        if (!rapportsRecuperes)
            session.TelechargerRapport(e);
        LigneRapport ligne;
        ligne.fichier = e.nom;
        ligne.identifiant = identifiantRapport(e.nom);
        const LectureRapport lecture =
            LireRapportCourant(document, chemins().RepertoireRapport + e.nom, aujourdhui);
        ligne.texte = lecture.texte;
        ligne.enErreur = lecture.sectionsEnErreur
            || (lecture.lu && !RapportRecent(lecture.date, e.modification, jours, aujourdhui));
        ajouter(ligne);
    }
    rapportsRecuperes = true;
    session.DeconnexionFTPRapport();
    return true;
}
