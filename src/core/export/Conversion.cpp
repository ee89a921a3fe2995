#include "core/export/Conversion.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/base/PageCode.h"
#include "core/config/Parametres.h"
#include "core/paradox/FichierParadox.h"
#include "core/xml/Texte1252.h"

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

LignesXml::LignesXml(paradox::Table &table) : m_table(table), m_nomLigne(EcritureXml::nomElement(QStringLiteral("Ligne")))
{
}

LignesXml::LignesXml(paradox::Table &table, const QString &nomChamp, const QString &valeur)
    : m_table(table), m_nomChamp(nomChamp), m_valeurTexte(valeur), m_valeur(versWindows1252(valeur)),
      m_avecValeur(true),
      m_nomLigne(EcritureXml::nomElement(QStringLiteral("Ligne")))
{
}

void LignesXml::preparer()
{
    const int n = m_table.fieldCount();
    m_colonnes.clear();
    for (int i = 0; i < n; ++i) {
        paradox::Champ &champ = m_table.field(i);
        Colonne c;
        c.index = champ.indexFichier();
        c.nom = champ.nom();
        c.remplace = m_avecValeur && c.nom == m_nomChamp;
        c.premiere = i;
        for (int j = 0; j < i; ++j) {
            if (m_colonnes[size_t(j)].nom == c.nom) {
                c.premiere = j;
                m_nomsRepetes = true;
                break;
            }
        }
        m_colonnes.push_back(std::move(c));
    }
    m_prete = true;
}

const QByteArray &LignesXml::nom(Colonne &c)
{
    if (c.octetsNom.isEmpty())
        c.octetsNom = EcritureXml::nomAttribut(c.nom);
    return c.octetsNom;
}

// What each byte of a code page becomes in the file: its windows-1252 byte, or "?".
const std::array<char, 256> &LignesXml::traduction(const paradox::PageCode *page)
{
    auto trouve = m_traductions.find(page);
    if (trouve != m_traductions.end())
        return trouve->second;
    std::array<char, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const char octet = char(b);
        const QString c = page->decoder(&octet, 1);
        t[size_t(b)] = c.size() == 1 ? texte1252::octet(c[0].unicode()) : '?';
    }
    return m_traductions.emplace(page, t).first->second;
}

void LignesXml::ecrire(EcritureXml &sortie)
{
    if (!m_prete)
        preparer();
    sortie.ouvrir(m_nomLigne);
    if (m_nomsRepetes) {
        ecrireRepetes(sortie);
        sortie.fermer();
        return;
    }
    const paradox::FichierParadox &f = m_table.fichier();
    const uchar *enr = m_table.donneesCourantes();
    char texte[64];
    for (Colonne &c : m_colonnes) {
        if (!enr || f.estNul(enr, c.index))
            continue;
        const QByteArray &n = nom(c);
        if (c.remplace) {
            sortie.attribut(n, m_valeur.constData(), m_valeur.size(), traduction(&paradox::PageCode::windows1252()));
            continue;
        }
        std::pair<const char *, qsizetype> octets{nullptr, 0};
        const paradox::PageCode *page = nullptr;
        const qsizetype longueur = f.texteSansConversion(enr, c.index, texte, octets, page);
        if (longueur >= 0)
            sortie.attributAscii(n, texte, longueur);
        else if (longueur == -1 && page->simple())
            sortie.attribut(n, octets.first, octets.second, traduction(page));
        else
            sortie.attribut(n, f.texte(enr, c.index));
    }
    sortie.fermer();
}

// Names that repeat: the tree keeps the first attribute of a name and gives it the last value.
void LignesXml::ecrireRepetes(EcritureXml &sortie)
{
    std::vector<std::optional<QString>> valeurs(m_colonnes.size());
    for (size_t i = 0; i < m_colonnes.size(); ++i) {
        paradox::Champ &champ = m_table.field(int(i));
        if (champ.isNull())
            continue;
        nom(m_colonnes[i]);
        valeurs[size_t(m_colonnes[i].premiere)] =
            m_colonnes[i].remplace ? m_valeurTexte : champ.asString();
    }
    for (size_t i = 0; i < m_colonnes.size(); ++i)
        if (valeurs[i])
            sortie.attribut(nom(m_colonnes[i]), *valeurs[i]);
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

void AjouterVersion(EcritureXml &sortie)
{
    sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Version")));
    sortie.attribut(EcritureXml::nomAttribut(QStringLiteral("Numero")), NumeroVersion);
    sortie.attribut(EcritureXml::nomAttribut(QStringLiteral("Date")), Horodatage());
    sortie.fermer();
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

ControleFournisseurs::ControleFournisseurs(paradox::Table &tblFns, const QStringList &exclus)
    : m_tblFns(tblFns), m_exclus(QSet<QString>(exclus.begin(), exclus.end()))
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
