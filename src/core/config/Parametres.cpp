#include "core/config/Parametres.h"

#include "core/base/Erreurs.h"
#include "core/config/IniFile.h"

#include <algorithm>

namespace {

const QString SectionHalvenor = Parametres::nomSection(Parametres::Halvenor);
const QString SectionUri = Parametres::nomSection(Parametres::Uri);
const QString SectionFtp = Parametres::nomSection(Parametres::Publication);
const QString SectionRapport = Parametres::nomSection(Parametres::Rapport);
const QString SectionExclus = Parametres::nomSection(Parametres::Exclus);
const QString SectionAffichage = Parametres::nomSection(Parametres::Affichage);
const QString CleTri = QStringLiteral("Tri");
const QString CleVue = QStringLiteral("Vue");
const QString CleErreursSeulement = QStringLiteral("ErreursSeulement");
const QString MotIcones = QStringLiteral("Icones");
const QString MotDetails = QStringLiteral("Details");
// By ParametresAffichage::Tri.
const std::array<QString, 4> MotsTri = {QStringLiteral("Serveur"), QStringLiteral("Franchise"),
                                        QStringLiteral("Etat"), QStringLiteral("Date")};

const QString CleTypeEnvoi = QStringLiteral("TypeEnvoi");
const QString CleUri = QStringLiteral("URI");
const QString CleLogin = QStringLiteral("Login");
const QString CleMdp = QStringLiteral("Mdp");
const QString CleHost = QStringLiteral("Host");
const QString ClePort = QStringLiteral("Port");
const QString CleTls = QStringLiteral("TLS");
const QString CleCertificatCA = QStringLiteral("CertificatCA");
const QString CleConnexions = QStringLiteral("Connexions");
const QString CleProtocole = QStringLiteral("Protocole");
const QString CleEmpreinteSsh = QStringLiteral("EmpreinteSSH");
const QString CleCleSsh = QStringLiteral("CleSSH");
const QString PrefixeFournisseur = QStringLiteral("Fournisseur");

const QString MotFtp = QStringLiteral("FTP");
const QString MotUri = QStringLiteral("URI");
const QString MotSftp = QStringLiteral("SFTP");

// No value can hold this character: a key read back as it is absent.
const QString Absente = QStringLiteral("\x01");

bool presente(const IniDocument &ini, const QString &section, const QString &cle)
{
    return ini.readString(section, cle, Absente) != Absente;
}

CompteFtp lireCompte(const IniDocument &ini, const QString &section)
{
    CompteFtp c;
    c.Login = ini.readString(section, CleLogin, QString());
    c.Mdp = ini.readString(section, CleMdp, QString());
    c.Host = ini.readString(section, CleHost, QString());
    // Any other word than SFTP is FTP, as the key was before it existed.
    if (ini.readString(section, CleProtocole, MotFtp).trimmed().compare(MotSftp, Qt::CaseInsensitive) == 0)
        c.protocole = CompteFtp::Protocole::SFTP;
    c.Port = ini.readInteger(section, ClePort, c.sftp() ? CompteFtp::PortSftpParDefaut : CompteFtp::PortParDefaut);
    c.tls = ini.readBool(section, CleTls, false);
    c.certificatCA = ini.readString(section, CleCertificatCA, QString());
    // Out of range is clamped: 0 or 100 still says "fewer" or "many".
    c.connexions = std::clamp(ini.readInteger(section, CleConnexions, CompteFtp::ConnexionsParDefaut), 1,
                              CompteFtp::ConnexionsMax);
    c.empreinteSsh = ini.readString(section, CleEmpreinteSsh, QString()).trimmed();
    c.cleSsh = ini.readString(section, CleCleSsh, QString());
    return c;
}

void ecrireCompte(IniDocument &ini, const QString &section, const CompteFtp &c)
{
    ini.writeString(section, CleLogin, c.Login);
    ini.writeString(section, CleMdp, c.Mdp);
    ini.writeString(section, CleHost, c.Host);
    ini.writeInteger(section, ClePort, c.Port);
    // CertificatCA is edited in the file only: no window writes it.
    ini.writeBool(section, CleTls, c.tls);
    // Written only when used or already there: an FTP account's file keeps its bytes.
    if (c.sftp() || presente(ini, section, CleProtocole))
        ini.writeString(section, CleProtocole, c.sftp() ? MotSftp : MotFtp);
    if (!c.empreinteSsh.isEmpty() || presente(ini, section, CleEmpreinteSsh))
        ini.writeString(section, CleEmpreinteSsh, c.empreinteSsh);
}

} // namespace

QString Parametres::nomSection(Partie partie)
{
    // Literals, not the constants above: command descriptions ask before those exist.
    switch (partie) {
    case Halvenor: return QStringLiteral("Halvenor");
    case Uri: return QStringLiteral("Halvenor_URI");
    case Publication: return QStringLiteral("Halvenor_FTP");
    case Rapport: return QStringLiteral("Halvenor_Rapport");
    case Exclus: return QStringLiteral("Halvenor_FNS_Exclu");
    case Affichage: return QStringLiteral("Halvenor_Affichage");
    }
    return {};
}

Parametres Parametres::lire(const QString &fichier)
{
    Parametres p;
    const IniDocument ini(fichier);
    if (!ini.existe())
        return p;
    p.existe = true;

    for (Genre g : tousLesGenres)
        p.halvenor.activer(g, ini.readBool(SectionHalvenor, cleGenre(g), false));
    // Exactly these words: "ftp" or " FTP" is another word.
    const QString type = ini.readString(SectionHalvenor, CleTypeEnvoi, MotFtp);
    if (type == MotFtp)
        p.halvenor.typeEnvoi = ModeEnvoi::FTP;
    else if (type == MotUri)
        p.halvenor.typeEnvoi = ModeEnvoi::URI;
    else
        p.halvenor.typeEnvoi.reset();

    p.uri = ini.readString(SectionUri, CleUri, QString());
    p.publication = lireCompte(ini, SectionFtp);
    p.rapport = lireCompte(ini, SectionRapport);
    // Whatever the key, the code is what follows the first "=".
    for (const QString &entree : ini.readSectionValues(SectionExclus))
        p.fournisseursExclus << entree.mid(entree.indexOf(u'=') + 1);
    // An unknown word keeps the default.
    const QString tri = ini.readString(SectionAffichage, CleTri, MotsTri[0]).trimmed();
    for (size_t i = 0; i < MotsTri.size(); ++i)
        if (tri.compare(MotsTri[i], Qt::CaseInsensitive) == 0)
            p.affichage.tri = static_cast<ParametresAffichage::Tri>(i);
    p.affichage.details =
        ini.readString(SectionAffichage, CleVue, MotIcones).trimmed().compare(MotDetails, Qt::CaseInsensitive) == 0;
    p.affichage.erreursSeulement = ini.readBool(SectionAffichage, CleErreursSeulement, false);
    return p;
}

Parametres Parametres::lireSiPossible(const QString &fichier)
{
    try {
        return lire(fichier);
    } catch (const HalvenorError &) {
        return {};
    }
}

void Parametres::enregistrer(const QString &fichier, Parties parties) const
{
    IniDocument ini(fichier);
    if (parties & Halvenor) {
        for (Genre g : tousLesGenres)
            ini.writeBool(SectionHalvenor, cleGenre(g), halvenor.actif(g));
        if (halvenor.typeEnvoi)
            ini.writeString(SectionHalvenor, CleTypeEnvoi, *halvenor.typeEnvoi == ModeEnvoi::FTP ? MotFtp : MotUri);
    }
    if (parties & Uri)
        ini.writeString(SectionUri, CleUri, uri);
    if (parties & Publication)
        ecrireCompte(ini, SectionFtp, publication);
    if (parties & Rapport)
        ecrireCompte(ini, SectionRapport, rapport);
    if (parties & Exclus) {
        // Also drops a header left without keys, so an empty list leaves no section at all.
        ini.eraseSection(SectionExclus);
        for (qsizetype i = 0; i < fournisseursExclus.size(); ++i)
            ini.writeString(SectionExclus, PrefixeFournisseur + QString::number(i), fournisseursExclus[i]);
    }
    if (parties & Affichage) {
        ini.writeString(SectionAffichage, CleTri, MotsTri[static_cast<size_t>(affichage.tri)]);
        ini.writeString(SectionAffichage, CleVue, affichage.details ? MotDetails : MotIcones);
        ini.writeBool(SectionAffichage, CleErreursSeulement, affichage.erreursSeulement);
    }
    ini.save();
}
