#include "core/export/Conversion.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/config/IniFile.h"

#include <QFileInfo>

namespace {

const QString sectionExclus = QStringLiteral("Halvenor_FNS_Exclu");

// What follows the first "=" of a "key=value" entry; keys are not looked at.
QString valeurEntree(const QString &entree)
{
    return entree.mid(entree.indexOf(u'=') + 1);
}

QStringList entreesExclus(const QString &fichierIni)
{
    if (!QFileInfo::exists(fichierIni))
        return {};
    return IniFile(fichierIni).readSectionValues(sectionExclus);
}

} // namespace

void EcrireLigne(paradox::Table &table, const TNativeXMLNode &ligne)
{
    const int n = table.fieldCount();
    for (int i = 0; i < n; ++i) {
        paradox::Champ &champ = table.field(i);
        if (champ.isNull())
            continue;
        ligne.SetAttribute(champ.nom(), champ.asString());
    }
}

void EcrireLigneAvecValeur(paradox::Table &table, const TNativeXMLNode &ligne, const QString &nomChamp,
                           const QString &valeur)
{
    const int n = table.fieldCount();
    for (int i = 0; i < n; ++i) {
        paradox::Champ &champ = table.field(i);
        if (champ.isNull())
            continue;
        ligne.SetAttribute(champ.nom(), champ.nom() == nomChamp ? valeur : champ.asString());
    }
}

QString Horodatage()
{
    return horloge().maintenant().toString(QStringLiteral("yyyyMMddHHmmss"));
}

void AjouterVersion(const TNativeXMLDocument &document)
{
    const TNativeXMLNode version = document.Root().AddChild(QStringLiteral("Version"));
    version.SetAttribute(QStringLiteral("Numero"), NumeroVersion);
    version.SetAttribute(QStringLiteral("Date"), Horodatage());
}

bool FournisseurExclu(const QString &fichierIni, const QString &code)
{
    const QStringList entrees = entreesExclus(fichierIni);
    for (const QString &e : entrees)
        if (valeurEntree(e) == code)
            return true;
    return false;
}

bool FournisseurExiste(paradox::Table &tblFns, const QString &code)
{
    if (!tblFns.isOpen())
        tblFns.open();
    tblFns.first();
    bool trouve = false;
    while (!tblFns.eof()) {
        if (tblFns.fieldByName(QStringLiteral("Code")).asString() == code) {
            trouve = true;
            break;
        }
        tblFns.next();
    }
    tblFns.close();
    return trouve;
}

ControleFournisseurs::ControleFournisseurs(paradox::Table &tblFns, QString fichierIni)
    : m_tblFns(tblFns), m_fichierIni(std::move(fichierIni))
{
}

bool ControleFournisseurs::FournisseurExclu(const QString &code)
{
    if (!m_exclus) {
        QSet<QString> exclus;
        for (const QString &e : entreesExclus(m_fichierIni))
            exclus.insert(valeurEntree(e));
        m_exclus = std::move(exclus);
    }
    return m_exclus->contains(code);
}

bool ControleFournisseurs::FournisseurExiste(const QString &code)
{
    if (!m_codes) {
        if (!m_tblFns.isOpen())
            m_tblFns.open();
        QSet<QString> codes;
        m_tblFns.first();
        if (!m_tblFns.eof()) {
            paradox::Champ &champCode = m_tblFns.fieldByName(QStringLiteral("Code"));
            while (!m_tblFns.eof()) {
                codes.insert(champCode.asString());
                m_tblFns.next();
            }
        }
        m_tblFns.close();
        m_codes = std::move(codes);
    }
    return m_codes->contains(code);
}
