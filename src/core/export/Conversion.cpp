#include "core/export/Conversion.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/config/Parametres.h"

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
    return Parametres::lire(fichierIni).fournisseursExclus.contains(code);
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
        const QStringList exclus = Parametres::lire(m_fichierIni).fournisseursExclus;
        m_exclus = QSet<QString>(exclus.begin(), exclus.end());
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
