#include "core/config/IniFile.h"

#include "core/base/EcritureSure.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "core/base/PageCode.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <utility>
#include <vector>

namespace {

// The five bytes windows-1252 leaves unassigned read as their C1 value and are written
// back as they were read: a rewrite keeps them.
QString depuis1252(const QByteArray &octets)
{
    return paradox::PageCode::windows1252().decoder(octets);
}

QByteArray vers1252(const QString &texte)
{
    return paradox::PageCode::windows1252().encoder(texte);
}

// The file as lines, without their line ends, and the line end it uses.
struct Contenu
{
    std::vector<QString> lignes;
    QString finDeLigne = QStringLiteral("\r\n");
};

enum class Genre { Vide, Commentaire, Section, Entree, Autre };

// Views into the line they were read from: every operation classifies every line of the
// file, and copying names and values there was most of the reader's time.
struct Ligne
{
    Genre genre = Genre::Autre;
    QStringView nom;    // section name or key, trimmed
    QStringView valeur; // entry value, as stored
};

Ligne analyser(QStringView ligne)
{
    Ligne l;
    const QStringView t = ligne.trimmed();
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

bool memeNom(QStringView a, QStringView b)
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
    const auto echec = [&](const QString &raison) {
        return HalvenorError(QStringLiteral("Impossible de lire le fichier de configuration « ") + chemin
                             + QStringLiteral(" » : ") + raison);
    };
    // The two causes met in practice, in French; any other in the system's words.
    if (QFileInfo(chemin).isDir())
        throw echec(QStringLiteral("un dossier porte ce nom."));
    if (!f.open(QIODevice::ReadOnly)) {
        if (errno == EACCES || errno == EPERM)
            throw echec(QStringLiteral("la lecture n'est pas autorisée (droits du fichier)."));
        throw echec(f.errorString());
    }
    const QByteArray octets = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw echec(f.errorString());
    return decouper(octets);
}

Contenu decouper(const QByteArray &octets)
{
    Contenu c;
    // Edited by hand and saved as UTF-8 with a byte order mark: read it as such rather
    // than lose the first section under "ï»¿". The next write puts it back in windows-1252.
    // A mark over bytes that are not UTF-8 after all: windows-1252, so that a rewrite keeps them.
    // A mark written twice (a tool that adds one to any file) is read as one: otherwise the
    // first rewrite would turn the second into the file's mark and the next read would drop it.
    QString texte;
    if (octets.startsWith("\xEF\xBB\xBF")) {
        QByteArrayView reste = QByteArrayView(octets).sliced(3);
        while (reste.startsWith("\xEF\xBB\xBF"))
            reste = reste.sliced(3);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        texte = utf8(reste);
        if (utf8.hasError())
            texte = paradox::PageCode::windows1252().decoder(reste.data(), reste.size());
    } else {
        texte = depuis1252(octets);
    }
    if (!texte.contains(QStringLiteral("\r\n")) && texte.contains(u'\n'))
        c.finDeLigne = QStringLiteral("\n");
    c.lignes.reserve(size_t(texte.count(u'\n')) + 1);
    qsizetype debut = 0;
    while (debut < texte.size()) {
        qsizetype fin = texte.indexOf(u'\n', debut);
        if (fin < 0)
            fin = texte.size();
        QString ligne = texte.mid(debut, fin - debut);
        // Every stray CR before the end too: one kept would meet the line end of a rewrite
        // and turn a "\n" file into a "\r\n" one at the next read.
        while (ligne.endsWith(u'\r'))
            ligne.chop(1);
        c.lignes.push_back(std::move(ligne));
        debut = fin + 1;
    }
    return c;
}

void ecrire(const QString &chemin, const std::vector<QString> &lignes, const QString &finDeLigne, QByteArray *memoire)
{
    const auto echec = [&](const QString &raison) {
        return HalvenorError(QStringLiteral("Impossible d'enregistrer le fichier de configuration « ") + chemin
                             + QStringLiteral(" » : ") + raison);
    };
    qsizetype taille = 0;
    for (const QString &l : lignes)
        taille += l.size() + finDeLigne.size();
    QString texte;
    texte.reserve(taille);
    for (const QString &l : lignes)
        texte.append(l).append(finDeLigne);
    const QByteArray octets = vers1252(texte);
    if (memoire) {
        *memoire = octets;
        return;
    }

    // It holds passwords in clear: nobody else may read a file we create.
    const ResultatEcriture r = ecrireEnEntier(chemin, octets, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!r)
        throw echec(r.raison());
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

// A header line, and the section it names; cheaper than analyser() on every line.
bool estSection(QStringView ligne, QStringView *nom = nullptr)
{
    if (!ligne.trimmed().startsWith(u'['))
        return false;
    const Ligne l = analyser(ligne);
    if (nom)
        *nom = l.nom;
    return l.genre == Genre::Section;
}

std::vector<Bloc> blocs(const std::vector<QString> &lignes, const QString &section)
{
    std::vector<Bloc> resultat;
    for (size_t i = 0; i < lignes.size(); ++i) {
        QStringView nom;
        if (!estSection(lignes[i], &nom) || !memeNom(nom, section))
            continue;
        size_t fin = i + 1;
        while (fin < lignes.size() && !estSection(lignes[fin]))
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

IniDocument::IniDocument(QString chemin, QByteArray *memoire) : m_chemin(std::move(chemin)), m_memoire(memoire)
{
    m_existe = memoire || QFileInfo(m_chemin).isFile();
    Contenu c = lire(m_chemin, m_memoire);
    m_lignes = std::move(c.lignes);
    m_finDeLigne = std::move(c.finDeLigne);
}

QString IniDocument::readString(const QString &section, const QString &cle, const QString &defaut) const
{
    for (const auto &[index, l] : entrees(m_lignes, section))
        if (memeNom(l.nom, cle))
            return l.valeur.toString();
    return defaut;
}

int IniDocument::readInteger(const QString &section, const QString &cle, int defaut) const
{
    int v = defaut;
    if (!lireEntier(readString(section, cle, QString()), v))
        return defaut;
    return v;
}

bool IniDocument::readBool(const QString &section, const QString &cle, bool defaut) const
{
    int v = 0;
    if (!lireEntier(readString(section, cle, QString()), v))
        return defaut;
    return v != 0;
}

bool IniDocument::sectionExists(const QString &section) const
{
    return !entrees(m_lignes, section).empty();
}

QStringList IniDocument::readSectionValues(const QString &section) const
{
    QStringList resultat;
    for (const auto &[index, l] : entrees(m_lignes, section)) {
        QString entree;
        entree.reserve(l.nom.size() + 1 + l.valeur.size());
        entree.append(l.nom).append(u'=').append(l.valeur);
        resultat.append(std::move(entree));
    }
    return resultat;
}

void IniDocument::writeString(const QString &section, const QString &cle, const QString &valeur)
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

    // Rewritten even when the value is the same, as a single write always did.
    m_modifie = true;
    const QString nouvelle = cle + u'=' + valeur;
    const auto existantes = entrees(m_lignes, section);
    for (const auto &[index, l] : existantes)
        if (memeNom(l.nom, cle)) {
            // The key keeps its stored spelling; only the value changes.
            QString &ligne = m_lignes[index];
            ligne = ligne.left(ligne.indexOf(u'=') + 1) + valeur;
            return;
        }

    const auto lesBlocs = blocs(m_lignes, section);
    if (!lesBlocs.empty()) {
        // After the section's last entry, so blank lines before the next section stay there.
        const size_t apres = existantes.empty() ? lesBlocs.front().entete : existantes.back().first;
        m_lignes.insert(m_lignes.begin() + static_cast<std::ptrdiff_t>(apres + 1), nouvelle);
    } else {
        if (!m_lignes.empty() && !m_lignes.back().trimmed().isEmpty())
            m_lignes.emplace_back();
        m_lignes.push_back(u'[' + section + u']');
        m_lignes.push_back(nouvelle);
    }
}

void IniDocument::writeInteger(const QString &section, const QString &cle, int valeur)
{
    writeString(section, cle, QString::number(valeur));
}

void IniDocument::writeBool(const QString &section, const QString &cle, bool valeur)
{
    writeString(section, cle, valeur ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniDocument::eraseSection(const QString &section)
{
    const auto lesBlocs = blocs(m_lignes, section);
    if (lesBlocs.empty())
        return;
    m_modifie = true;
    for (auto b = lesBlocs.rbegin(); b != lesBlocs.rend(); ++b)
        m_lignes.erase(m_lignes.begin() + static_cast<std::ptrdiff_t>(b->entete),
                       m_lignes.begin() + static_cast<std::ptrdiff_t>(b->fin));
}

void IniDocument::save()
{
    if (!m_modifie)
        return;
    ecrire(m_chemin, m_lignes, m_finDeLigne, m_memoire);
    m_modifie = false;
    m_existe = true;
}

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
    return m_memoire || QFileInfo(m_chemin).isFile();
}

QString IniFile::readString(const QString &section, const QString &cle, const QString &defaut) const
{
    return IniDocument(m_chemin, m_memoire.get()).readString(section, cle, defaut);
}

int IniFile::readInteger(const QString &section, const QString &cle, int defaut) const
{
    return IniDocument(m_chemin, m_memoire.get()).readInteger(section, cle, defaut);
}

bool IniFile::readBool(const QString &section, const QString &cle, bool defaut) const
{
    return IniDocument(m_chemin, m_memoire.get()).readBool(section, cle, defaut);
}

void IniFile::writeString(const QString &section, const QString &cle, const QString &valeur)
{
    IniDocument d(m_chemin, m_memoire.get());
    d.writeString(section, cle, valeur);
    d.save();
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
    return IniDocument(m_chemin, m_memoire.get()).sectionExists(section);
}

void IniFile::eraseSection(const QString &section)
{
    IniDocument d(m_chemin, m_memoire.get());
    d.eraseSection(section);
    d.save();
}

QStringList IniFile::readSectionValues(const QString &section) const
{
    return IniDocument(m_chemin, m_memoire.get()).readSectionValues(section);
}
