#include "BancFtp.h"

#include "core/base/Chemins.h"
#include "core/publish/Envoi.h"

#include <QDir>
#include <QFile>

QByteArray rapportMajAuto(const QDateTime &date, int etat, const QString &message)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto Date=\"")
        + date.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) + QStringLiteral("\"><General><Etat Etat=\"")
        + QString::number(etat) + QStringLiteral("\"/><Messages>");
    if (!message.isEmpty())
        xml += QStringLiteral("<Message>") + message + QStringLiteral("</Message>");
    xml += QStringLiteral("</Messages></General><HVN><Etat Etat=\"0\"/><Messages/></HVN>"
                          "<Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></MajAuto>");
    return xml.toUtf8();
}

namespace {

void ecrireDate(const QString &chemin, const QByteArray &octets, const QDateTime &date)
{
    if (!ecrireFichier(chemin, octets))
        throw std::runtime_error("cannot write " + chemin.toStdString());
    QFile f(chemin);
    if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(date, QFileDevice::FileModificationTime))
        throw std::runtime_error("cannot date " + chemin.toStdString());
}

} // namespace

BancFtp::BancFtp(const QDateTime &maintenant)
    : m_horloge(maintenant)
{
    m_programme = m_tmp.filePath(QStringLiteral("programme/"));
    QDir().mkpath(m_programme + QStringLiteral("preparer"));
    definirChemins(Chemins::depuisRepertoire(m_programme));
    definirHorloge(&m_horloge);
}

BancFtp::~BancFtp()
{
    definirHorloge(nullptr);
}

void BancFtp::configurer(const CompteFtp &compte)
{
    m_compte = compte;
    QByteArray texte;
    for (const char *section : {"Halvenor_FTP", "Halvenor_Rapport"}) {
        texte += QByteArray("[") + section + "]\r\nLogin=" + compte.Login.toUtf8() + "\r\nMdp=" + compte.Mdp.toUtf8()
            + "\r\nHost=" + compte.Host.toUtf8() + "\r\nPort=" + QByteArray::number(compte.Port)
            + "\r\nTLS=" + (compte.tls ? "1" : "0") + "\r\nCertificatCA=" + compte.certificatCA.toUtf8()
            + "\r\nConnexions=" + QByteArray::number(compte.connexions) + "\r\n";
        if (compte.sftp())
            texte += "Protocole=SFTP\r\nEmpreinteSSH=" + compte.empreinteSsh.toUtf8() + "\r\nCleSSH="
                + compte.cleSsh.toUtf8() + "\r\n";
        texte += "\r\n";
    }
    if (!ecrireFichier(chemins().FichierIni, texte))
        throw std::runtime_error("cannot write Halvenor.ini");
}

void BancFtp::ecrireRapports(const QString &racine, int nombre, const std::function<void(const QString &)> &dossier)
{
    dossier(QStringLiteral("Rapport"));
    dossier(QStringLiteral("Rapport/Historique"));
    dossier(QStringLiteral("Rapport/Archives")); // a folder named like nothing: never downloaded
    const QDateTime recent = maintenant().addSecs(-3600);
    for (int i = 0; i < nombre; ++i) {
        const QString id = QStringLiteral("%1").arg(400 + i, 4, 10, QLatin1Char('0'));
        const QString chemin = racine + QStringLiteral("/Rapport/") + id + QStringLiteral(".xml");
        if (i % 7 == 3)
            ecrireDate(chemin, rapportMajAuto(recent, 1, QStringLiteral("Disque plein")), recent);
        else if (i % 7 == 5) // updated three days ago: too old for J-1
            ecrireDate(chemin, rapportMajAuto(recent.addDays(-3)), recent.addDays(-3));
        else
            ecrireDate(chemin, rapportMajAuto(recent), recent);
    }
    ecrireDate(racine + QStringLiteral("/Rapport/lisez-moi.txt"), "pas un rapport", recent);
    ecrireDate(racine + QStringLiteral("/Rapport/Historique/0400.xml"),
               QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto><Item Date=\"%1\"><General>"
                              "<Etat Etat=\"1\"/><Messages><Message>Échec réseau</Message></Messages></General>"
                              "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/>"
                              "</Zentrave></Item></MajAuto>")
                   .arg(recent.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")))
                   .toUtf8(),
               recent);
}

QStringList BancFtp::publier(const QMap<QString, QByteArray> &fichiers)
{
    m_messages.textes.clear();
    // The account as read at the click.
    const CompteFtp compte = Parametres::lire(chemins().FichierIni).publication;
    const std::unique_ptr<ClientDistant> client = clientPourCompte(compte);
    SessionFtp session(*client, compte, chemins().RepertoireProgramme, m_messages);
    for (auto it = fichiers.cbegin(); it != fichiers.cend(); ++it) {
        const QString local = chemins().RepertoirePreparer + it.key();
        if (!ecrireFichier(local, it.value()))
            throw std::runtime_error("cannot write " + local.toStdString());
        // One session per file, as "Envoyer" does.
        if (session.ConnexionFTP()) {
            session.EnvoiParFtp(local, it.key());
            session.DeconnexionFTP();
        }
    }
    return m_messages.textes;
}

QList<LigneRapport> BancFtp::actualiser(int jours, bool *connecte)
{
    m_messages.textes.clear();
    SessionRapport session(LireCompteRapport(chemins().FichierIni), chemins(), m_messages);
    QList<LigneRapport> lignes;
    bool recuperes = false;
    const bool ok = ChargerRapports(session, recuperes, jours, [&](const LigneRapport &l) { lignes << l; });
    if (connecte)
        *connecte = ok;
    return lignes;
}

QByteArray BancFtp::historique(const QString &identifiant)
{
    m_messages.textes.clear();
    SessionRapport session(LireCompteRapport(chemins().FichierIni), chemins(), m_messages);
    if (!session.ConnexionFTPRapport())
        return {};
    const std::optional<QString> chemin = session.RecupererHistorique(identifiant);
    session.DeconnexionFTPRapport();
    return chemin ? lireFichier(*chemin) : QByteArray();
}

QString BancFtp::testerConnexion(const CompteFtp &compte)
{
    const std::unique_ptr<ClientDistant> client = clientPourCompte(compte);
    const ResultatFtp r = connecterCompte(*client, compte, QStringLiteral("Halvenor_FTP"), chemins().RepertoireProgramme);
    if (r && !client->connected())
        return QStringLiteral("not connected");
    client->disconnect();
    return r ? QString() : r.echec().texte();
}

QMap<QString, QString> BancFtp::parIdentifiant(const QList<LigneRapport> &lignes)
{
    QMap<QString, QString> m;
    for (const LigneRapport &l : lignes)
        m.insert(l.identifiant, (l.enErreur ? QStringLiteral("rouge ") : QStringLiteral("vert ")) + l.texte);
    return m;
}

QStringList BancFtp::contenu(const QString &dossier)
{
    return QDir(dossier).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
