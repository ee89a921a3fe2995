#include "core/publish/FtpClient.h"

#include "core/base/PageCode.h"

#include <QByteArrayList>
#include <QStringDecoder>
#include <QTimeZone>

#include <vector>

QString texteServeur(const QByteArray &octets)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString texte = utf8(octets);
    if (!utf8.hasError())
        return texte;
    return paradox::PageCode::windows1252().decoder(octets);
}

namespace {

// No file name comes near this (NAME_MAX is 255 bytes); a longer line is a hostile or
// broken server's, and is skipped.
constexpr qsizetype LongueurLigneMax = 4096;

QByteArrayList lignes(const QByteArray &texte)
{
    QByteArrayList resultat;
    qsizetype debut = 0;
    while (debut < texte.size()) {
        qsizetype fin = texte.indexOf('\n', debut);
        if (fin < 0)
            fin = texte.size();
        qsizetype longueur = fin - debut;
        if (longueur > 0 && texte[fin - 1] == '\r')
            --longueur;
        if (longueur <= LongueurLigneMax) {
            const QByteArray ligne = texte.mid(debut, longueur);
            if (!ligne.trimmed().isEmpty())
                resultat << ligne;
        }
        debut = fin + 1;
    }
    return resultat;
}

int mois(const QString &nom)
{
    static const QStringList noms{QStringLiteral("jan"), QStringLiteral("feb"), QStringLiteral("mar"),
                                  QStringLiteral("apr"), QStringLiteral("may"), QStringLiteral("jun"),
                                  QStringLiteral("jul"), QStringLiteral("aug"), QStringLiteral("sep"),
                                  QStringLiteral("oct"), QStringLiteral("nov"), QStringLiteral("dec")};
    return static_cast<int>(noms.indexOf(nom.toLower())) + 1;
}

// A hand parser, not regular expressions: their backtracking made one long line cost seconds.
// Every step below moves forward through the line once.

bool chiffre(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool lettre(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool tousChiffres(QStringView t)
{
    for (QChar c : t)
        if (!chiffre(c))
            return false;
    return !t.isEmpty();
}

struct Mot
{
    qsizetype debut;
    qsizetype fin;
};

std::vector<Mot> mots(const QString &ligne)
{
    std::vector<Mot> resultat;
    qsizetype i = 0;
    const qsizetype n = ligne.size();
    while (i < n) {
        while (i < n && ligne[i].isSpace())
            ++i;
        if (i == n)
            break;
        const qsizetype debut = i;
        while (i < n && !ligne[i].isSpace())
            ++i;
        resultat.push_back({debut, i});
    }
    return resultat;
}

// "-rw-r--r--   1 owner group   1234 Mar 25 06:30 name" or "... Mar 25  2013 name": the first
// number followed by a month, a day and a time (or a year), then one space and the name.
bool lireUnix(const QString &ligne, const QDateTime &maintenant, FtpEntree &e)
{
    if (ligne.isEmpty() || !QStringView(u"-dlbcps").contains(ligne[0]))
        return false;
    const std::vector<Mot> m = mots(ligne);
    const auto vue = [&](size_t k) { return QStringView(ligne).mid(m[k].debut, m[k].fin - m[k].debut); };
    const auto suiviDUnEspace = [&](size_t k) { return m[k].fin < ligne.size() && ligne[m[k].fin] == u' '; };
    const auto heure = [&](QStringView t) {
        return (t.size() == 4 || t.size() == 5) && t[t.size() - 3] == u':' && tousChiffres(t.left(t.size() - 3))
            && tousChiffres(t.right(2));
    };
    const auto annee = [&](QStringView t) { return t.size() == 4 && tousChiffres(t); };
    for (int forme = 0; forme < 2; ++forme) {
        for (size_t k = 1; k + 3 < m.size(); ++k) {
            const QStringView nombre = vue(k), nomMois = vue(k + 1), jour = vue(k + 2), fin = vue(k + 3);
            if (!chiffre(nombre.back()) || nomMois.size() != 3 || !lettre(nomMois[0]) || !lettre(nomMois[1])
                || !lettre(nomMois[2]) || jour.size() > 2 || !tousChiffres(jour) || !suiviDUnEspace(k + 3))
                continue;
            const int mo = mois(nomMois.toString());
            if (forme == 0 && heure(fin)) {
                // No year: this year, unless that lies in the future (a day's slack for the server's time zone).
                const QTime h(fin.left(fin.size() - 3).toInt(), fin.right(2).toInt());
                QDateTime t(QDate(maintenant.date().year(), mo, jour.toInt()), h);
                if (t.isValid() && t > maintenant.addDays(1))
                    t = QDateTime(QDate(maintenant.date().year() - 1, mo, jour.toInt()), h);
                e.modification = t.isValid() ? t : QDateTime();
            } else if (forme == 1 && annee(fin)) {
                const QDateTime t(QDate(fin.toInt(), mo, jour.toInt()), QTime(0, 0));
                e.modification = t.isValid() ? t : QDateTime();
                e.sansHeure = true;
            } else {
                continue;
            }
            e.nom = ligne.mid(m[k + 3].fin + 1);
            e.type = ligne[0] == u'-' ? FtpEntree::Type::Fichier
                   : ligne[0] == u'd' ? FtpEntree::Type::Repertoire
                                      : FtpEntree::Type::Autre;
            return true;
        }
    }
    return false;
}

// "03-25-13  06:30AM       <DIR>          Historique" (year of 2 or 4 digits, AM/PM optional).
bool lireDos(const QString &l, FtpEntree &e)
{
    const qsizetype n = l.size();
    qsizetype i = 0;
    const auto chiffres = [&](qsizetype max) {
        const qsizetype debut = i;
        while (i < n && i - debut < max && chiffre(l[i]))
            ++i;
        return i - debut;
    };
    const auto blancs = [&] {
        const qsizetype debut = i;
        while (i < n && l[i].isSpace())
            ++i;
        return i - debut;
    };
    if (chiffres(2) != 2 || i >= n || l[i++] != u'-' || chiffres(2) != 2 || i >= n || l[i++] != u'-')
        return false;
    const qsizetype debutAnnee = i;
    const qsizetype longueurAnnee = chiffres(4);
    if ((longueurAnnee != 2 && longueurAnnee != 4) || blancs() == 0)
        return false;
    const qsizetype debutHeure = i;
    if (chiffres(2) == 0 || i >= n || l[i] != u':')
        return false;
    int h = QStringView(l).mid(debutHeure, i - debutHeure).toInt();
    ++i;
    const qsizetype debutMinutes = i;
    if (chiffres(2) != 2)
        return false;
    const int minutes = QStringView(l).mid(debutMinutes, 2).toInt();
    qsizetype separation = blancs();
    if (i + 1 < n && QStringView(u"AaPp").contains(l[i]) && (l[i + 1] == u'M' || l[i + 1] == u'm')) {
        const bool pm = l[i] == u'P' || l[i] == u'p';
        if (pm && h < 12)
            h += 12;
        else if (!pm && h == 12)
            h = 0;
        i += 2;
        separation = blancs();
    }
    if (separation == 0)
        return false;
    bool repertoire = false;
    if (QStringView(l).mid(i).startsWith(u"<DIR>")) {
        repertoire = true;
        i += 5;
    } else {
        const qsizetype debutTaille = i;
        while (i < n && (chiffre(l[i]) || l[i] == u','))
            ++i;
        if (i == debutTaille)
            return false;
    }
    if (blancs() == 0)
        return false;
    int annee = QStringView(l).mid(debutAnnee, longueurAnnee).toInt();
    if (longueurAnnee == 2)
        annee += annee < 70 ? 2000 : 1900;
    const QDateTime t(QDate(annee, QStringView(l).left(2).toInt(), QStringView(l).mid(3, 2).toInt()),
                      QTime(h, minutes));
    e.modification = t.isValid() ? t : QDateTime();
    e.nom = l.mid(i);
    e.type = repertoire ? FtpEntree::Type::Repertoire : FtpEntree::Type::Fichier;
    return true;
}

} // namespace

QList<FtpEntree> analyserMlsd(const QByteArray &texte)
{
    QList<FtpEntree> entrees;
    for (const QByteArray &ligne : lignes(texte)) {
        // Facts up to the first space; everything after it is the name, spaces included.
        const qsizetype espace = ligne.indexOf(' ');
        if (espace < 0)
            continue;
        FtpEntree e;
        e.brut = ligne.mid(espace + 1);
        e.nom = texteServeur(e.brut);
        // "." and ".." name no file whatever the type says, as in LIST.
        if (e.nom.isEmpty() || e.nom == u"." || e.nom == u"..")
            continue;
        bool ignorer = false;
        for (const QByteArray &fait : ligne.left(espace).split(';')) {
            const qsizetype egal = fait.indexOf('=');
            if (egal < 0)
                continue;
            const QByteArray nom = fait.left(egal).toLower();
            const QByteArray valeur = fait.mid(egal + 1);
            if (nom == "type") {
                const QByteArray type = valeur.toLower();
                if (type == "cdir" || type == "pdir")
                    ignorer = true;
                else if (type == "file")
                    e.type = FtpEntree::Type::Fichier;
                else if (type == "dir")
                    e.type = FtpEntree::Type::Repertoire;
                else
                    e.type = FtpEntree::Type::Autre; // OS.unix=symlink, slink, devices...
            } else if (nom == "modify") {
                e.modification = dateUtcFtp(valeur);
            }
        }
        if (!ignorer)
            entrees << e;
    }
    return entrees;
}

QList<FtpEntree> analyserList(const QByteArray &texte, const QDateTime &maintenant)
{
    QList<FtpEntree> entrees;
    for (const QByteArray &octets : lignes(texte)) {
        // Latin-1 maps each byte to one character: the name's bytes come back exact.
        const QString ligne = QString::fromLatin1(octets);
        FtpEntree e;
        if (!lireUnix(ligne, maintenant, e) && !lireDos(ligne, e))
            continue; // "total 12" and anything unknown
        if (e.type == FtpEntree::Type::Autre) {
            // A symbolic link reads "name -> target".
            const qsizetype fleche = e.nom.indexOf(QStringLiteral(" -> "));
            if (fleche > 0)
                e.nom.truncate(fleche);
        }
        e.brut = e.nom.toLatin1();
        e.nom = texteServeur(e.brut);
        e.sansFuseau = true;
        if (e.nom.isEmpty() || e.nom == u"." || e.nom == u"..")
            continue;
        entrees << e;
    }
    return entrees;
}
