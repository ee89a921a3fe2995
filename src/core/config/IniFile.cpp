#include "core/config/IniFile.h"

#include "core/base/EcritureSure.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <utility>
#include <vector>

namespace {

// Bytes 0x80..0x9F of windows-1252; the five unassigned bytes keep their C1 value,
// as Windows itself does when it reads them.
constexpr char16_t haut1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString depuis1252(const QByteArray &octets)
{
    QString texte(octets.size(), Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(texte.data());
    for (qsizetype i = 0; i < octets.size(); ++i) {
        const auto o = static_cast<unsigned char>(octets[i]);
        d[i] = (o >= 0x80 && o < 0xA0) ? haut1252[o - 0x80] : char16_t(o);
    }
    return texte;
}

char octet1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    // The five unassigned bytes go back as they were read: a rewrite keeps them.
    for (int i = 0; i < 32; ++i)
        if (haut1252[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

QByteArray vers1252(const QString &texte)
{
    QByteArray octets;
    octets.reserve(texte.size());
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const char16_t c = texte[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < texte.size() && QChar::isLowSurrogate(texte[i + 1].unicode()))
            ++i; // one character outside the code page: one "?"
        octets += QChar::isSurrogate(c) ? '?' : octet1252(c);
    }
    return octets;
}

// The file as lines, without their line ends, and the line end it uses.
struct Contenu
{
    std::vector<QString> lignes;
    QString finDeLigne = QStringLiteral("\r\n");
};

enum class Genre { Vide, Commentaire, Section, Entree, Autre };

struct Ligne
{
    Genre genre = Genre::Autre;
    QString nom;    // section name or key, trimmed
    QString valeur; // entry value, as stored
};

Ligne analyser(const QString &ligne)
{
    Ligne l;
    const QString t = ligne.trimmed();
    if (t.isEmpty()) {
        l.genre = Genre::Vide;
    } else if (t.startsWith(u';')) {
        l.genre = Genre::Commentaire;
    } else if (t.startsWith(u'[')) {
        const qsizetype fin = t.indexOf(u']');
        if (fin > 0) {
            l.genre = Genre::Section;
            l.nom = t.mid(1, fin - 1).trimmed();
        }
    } else {
        const qsizetype egal = ligne.indexOf(u'=');
        if (egal >= 0) {
            l.nom = ligne.left(egal).trimmed();
            if (!l.nom.isEmpty()) {
                l.genre = Genre::Entree;
                l.valeur = ligne.mid(egal + 1);
            }
        }
    }
    return l;
}

bool memeNom(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Reads the file; a missing file is empty. A file that exists but cannot be read is an
// error: going on with defaults would hide it, and a rewrite would lose its content.
Contenu decouper(const QByteArray &octets);

Contenu lire(const QString &chemin, const QByteArray *memoire)
{
    if (memoire)
        return decouper(*memoire);
    QFile f(chemin);
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly))
        throw HalvenorError(QStringLiteral("Impossible de lire le fichier de configuration « ") + chemin
                            + QStringLiteral(" » : ") + f.errorString());
    const QByteArray octets = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw HalvenorError(QStringLiteral("Impossible de lire le fichier de configuration « ") + chemin
                            + QStringLiteral(" » : ") + f.errorString());
    return decouper(octets);
}

Contenu decouper(const QByteArray &octets)
{
    Contenu c;
    // Edited by hand and saved as UTF-8 with a byte order mark: read it as such rather
    // than lose the first section under "ï»¿". The next write puts it back in windows-1252.
    // A mark over bytes that are not UTF-8 after all: windows-1252, so that a rewrite keeps them.
    QString texte;
    if (octets.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        texte = utf8(octets.mid(3));
        if (utf8.hasError())
            texte = depuis1252(octets.mid(3));
    } else {
        texte = depuis1252(octets);
    }
    if (!texte.contains(QStringLiteral("\r\n")) && texte.contains(u'\n'))
        c.finDeLigne = QStringLiteral("\n");
    qsizetype debut = 0;
    while (debut < texte.size()) {
        qsizetype fin = texte.indexOf(u'\n', debut);
        if (fin < 0)
            fin = texte.size();
        QString ligne = texte.mid(debut, fin - debut);
        if (ligne.endsWith(u'\r'))
            ligne.chop(1);
        c.lignes.push_back(std::move(ligne));
        debut = fin + 1;
    }
    return c;
}

void ecrire(const QString &chemin, const Contenu &c, QByteArray *memoire)
{
    const auto echec = [&](const QString &raison) {
        return HalvenorError(QStringLiteral("Impossible d'enregistrer le fichier de configuration « ") + chemin
                             + QStringLiteral(" » : ") + raison);
    };
    QString texte;
    for (const QString &l : c.lignes)
        texte += l + c.finDeLigne;
    const QByteArray octets = vers1252(texte);
    if (memoire) {
        *memoire = octets;
        return;
    }

    // It holds passwords in clear: nobody else may read a file we create.
    const QString raison = ecrireEnEntier(chemin, octets, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!raison.isEmpty())
        throw echec(raison);
}

void refuserSaut(const QString &quoi, const QString &texte)
{
    if (texte.contains(u'\n') || texte.contains(u'\r'))
        throw HalvenorError(quoi + QStringLiteral(" ne peut pas contenir de saut de ligne dans le fichier de configuration."));
}

// Lines [debut, fin) of each block of that section; a section written twice by hand is read as one.
struct Bloc
{
    size_t entete;
    size_t fin;
};

std::vector<Bloc> blocs(const std::vector<QString> &lignes, const QString &section)
{
    std::vector<Bloc> resultat;
    for (size_t i = 0; i < lignes.size(); ++i) {
        const Ligne l = analyser(lignes[i]);
        if (l.genre != Genre::Section || !memeNom(l.nom, section))
            continue;
        size_t fin = i + 1;
        while (fin < lignes.size() && analyser(lignes[fin]).genre != Genre::Section)
            ++fin;
        resultat.push_back({i, fin});
        i = fin - 1;
    }
    return resultat;
}

// Every entry of the section, in file order.
std::vector<std::pair<size_t, Ligne>> entrees(const std::vector<QString> &lignes, const QString &section)
{
    std::vector<std::pair<size_t, Ligne>> resultat;
    for (const Bloc &b : blocs(lignes, section))
        for (size_t i = b.entete + 1; i < b.fin; ++i) {
            Ligne l = analyser(lignes[i]);
            if (l.genre == Genre::Entree)
                resultat.emplace_back(i, std::move(l));
        }
    return resultat;
}

bool lireEntier(const QString &texte, int &valeur)
{
    return formats::lireEntier(texte.trimmed(), valeur);
}

} // namespace

IniFile::IniFile(QString chemin) : m_chemin(std::move(chemin)) {}

IniFile IniFile::enMemoire(QByteArray octets)
{
    IniFile ini(QStringLiteral("Halvenor.ini"));
    ini.m_memoire = std::make_shared<QByteArray>(std::move(octets));
    return ini;
}

QByteArray IniFile::octets() const
{
    return m_memoire ? *m_memoire : QByteArray();
}

bool IniFile::existe() const
{
    if (m_memoire)
        return true;
    return QFileInfo(m_chemin).isFile();
}

QString IniFile::readString(const QString &section, const QString &cle, const QString &defaut) const
{
    const Contenu c = lire(m_chemin, m_memoire.get());
    for (const auto &[index, l] : entrees(c.lignes, section))
        if (memeNom(l.nom, cle))
            return l.valeur;
    return defaut;
}

int IniFile::readInteger(const QString &section, const QString &cle, int defaut) const
{
    int v = defaut;
    if (!lireEntier(readString(section, cle, QString()), v))
        return defaut;
    return v;
}

bool IniFile::readBool(const QString &section, const QString &cle, bool defaut) const
{
    int v = 0;
    if (!lireEntier(readString(section, cle, QString()), v))
        return defaut;
    return v != 0;
}

void IniFile::writeString(const QString &section, const QString &cle, const QString &valeur)
{
    refuserSaut(QStringLiteral("Le nom de section « ") + section + QStringLiteral(" »"), section);
    refuserSaut(QStringLiteral("La clé « ") + cle + QStringLiteral(" »"), cle);
    refuserSaut(QStringLiteral("La valeur de la clé « ") + cle + QStringLiteral(" »"), valeur);
    if (section.trimmed().isEmpty() || section.contains(u']'))
        throw HalvenorError(QStringLiteral("Nom de section incorrect dans le fichier de configuration : « ")
                            + section + QStringLiteral(" »."));
    if (cle.trimmed().isEmpty() || cle.contains(u'=') || cle.trimmed().startsWith(u'[')
        || cle.trimmed().startsWith(u';'))
        throw HalvenorError(QStringLiteral("Nom de clé incorrect dans le fichier de configuration : « ")
                            + cle + QStringLiteral(" »."));

    Contenu c = lire(m_chemin, m_memoire.get());
    const QString nouvelle = cle + u'=' + valeur;
    const auto existantes = entrees(c.lignes, section);
    for (const auto &[index, l] : existantes)
        if (memeNom(l.nom, cle)) {
            // The key keeps its stored spelling; only the value changes.
            QString &ligne = c.lignes[index];
            ligne = ligne.left(ligne.indexOf(u'=') + 1) + valeur;
            ecrire(m_chemin, c, m_memoire.get());
            return;
        }

    const auto lesBlocs = blocs(c.lignes, section);
    if (!lesBlocs.empty()) {
        // After the section's last entry, so blank lines before the next section stay there.
        const size_t apres = existantes.empty() ? lesBlocs.front().entete : existantes.back().first;
        c.lignes.insert(c.lignes.begin() + static_cast<std::ptrdiff_t>(apres + 1), nouvelle);
    } else {
        if (!c.lignes.empty() && !c.lignes.back().trimmed().isEmpty())
            c.lignes.emplace_back();
        c.lignes.push_back(u'[' + section + u']');
        c.lignes.push_back(nouvelle);
    }
    ecrire(m_chemin, c, m_memoire.get());
}

void IniFile::writeInteger(const QString &section, const QString &cle, int valeur)
{
    writeString(section, cle, QString::number(valeur));
}

void IniFile::writeBool(const QString &section, const QString &cle, bool valeur)
{
    writeString(section, cle, valeur ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::sectionExists(const QString &section) const
{
    return !entrees(lire(m_chemin, m_memoire.get()).lignes, section).empty();
}

void IniFile::eraseSection(const QString &section)
{
    Contenu c = lire(m_chemin, m_memoire.get());
    const auto lesBlocs = blocs(c.lignes, section);
    if (lesBlocs.empty())
        return;
    for (auto b = lesBlocs.rbegin(); b != lesBlocs.rend(); ++b)
        c.lignes.erase(c.lignes.begin() + static_cast<std::ptrdiff_t>(b->entete),
                       c.lignes.begin() + static_cast<std::ptrdiff_t>(b->fin));
    ecrire(m_chemin, c, m_memoire.get());
}

QStringList IniFile::readSectionValues(const QString &section) const
{
    QStringList resultat;
    for (const auto &[index, l] : entrees(lire(m_chemin, m_memoire.get()).lignes, section))
        resultat.append(l.nom + u'=' + l.valeur);
    return resultat;
}
