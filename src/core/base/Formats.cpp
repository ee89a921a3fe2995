#include "core/base/Formats.h"

#include "core/base/Erreurs.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace formats {

QString date(const QDate &d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

QString heure(const QTime &t)
{
    return t.toString(QStringLiteral("HH:mm:ss"));
}

QString dateHeure(const QDateTime &dt)
{
    if (dt.time() == QTime(0, 0))
        return date(dt.date());
    return date(dt.date()) + u' ' + heure(dt.time());
}

QString nombre(double v)
{
    char texte[32];
    return QString::fromLatin1(texte, nombreAscii(v, texte));
}

int entierAscii(qint64 v, char *sortie)
{
    return int(std::to_chars(sortie, sortie + 32, v).ptr - sortie);
}

int nombreAscii(double v, char *sortie)
{
    const auto copier = [sortie](const char *t) {
        const size_t n = std::strlen(t);
        std::memcpy(sortie, t, n);
        return int(n);
    };
    if (std::isnan(v))
        return copier("NAN");
    if (std::isinf(v))
        return copier(v > 0 ? "INF" : "-INF");
    if (v == 0.0)
        return copier("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
    // buf: d.dddddddddddddde[+-]XX
    char chiffres[20];
    int n = 0;
    const char *p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            chiffres[n++] = *p;
    const int exposant = std::atoi(p + 1);
    while (n > 1 && chiffres[n - 1] == '0')
        --n;

    char *s = sortie;
    if (v < 0)
        *s++ = '-';
    if (exposant >= 15 || exposant < -5) {
        *s++ = chiffres[0];
        if (n > 1) {
            *s++ = ',';
            std::memcpy(s, chiffres + 1, size_t(n - 1));
            s += n - 1;
        }
        *s++ = 'E';
        if (exposant < 0)
            *s++ = '-';
        s = std::to_chars(s, sortie + 32, std::abs(exposant)).ptr;
    } else if (exposant >= 0) {
        for (int i = 0; i <= exposant; ++i)
            *s++ = i < n ? chiffres[i] : '0';
        if (n > exposant + 1) {
            *s++ = ',';
            std::memcpy(s, chiffres + exposant + 1, size_t(n - exposant - 1));
            s += n - exposant - 1;
        }
    } else {
        *s++ = '0';
        *s++ = ',';
        for (int i = 0; i < -exposant - 1; ++i)
            *s++ = '0';
        std::memcpy(s, chiffres, size_t(n));
        s += n;
    }
    return int(s - sortie);
}

namespace {

char *deuxChiffres(char *s, int v)
{
    s[0] = char('0' + v / 10);
    s[1] = char('0' + v % 10);
    return s + 2;
}

} // namespace

int heureAscii(const QTime &t, char *sortie)
{
    if (!t.isValid())
        return 0;
    char *s = deuxChiffres(sortie, t.hour());
    *s++ = ':';
    s = deuxChiffres(s, t.minute());
    *s++ = ':';
    s = deuxChiffres(s, t.second());
    return int(s - sortie);
}

int dateAscii(const QDate &d, char *sortie)
{
    if (!d.isValid())
        return 0;
    int annee = 0;
    int mois = 0;
    int jour = 0;
    d.getDate(&annee, &mois, &jour);
    if (annee < 1 || annee > 9999)
        return -1;
    char *s = deuxChiffres(sortie, jour);
    *s++ = '/';
    s = deuxChiffres(s, mois);
    *s++ = '/';
    s = deuxChiffres(s, annee / 100);
    s = deuxChiffres(s, annee % 100);
    return int(s - sortie);
}

bool lireEntier(const QString &texte, int &valeur)
{
    qsizetype i = 0;
    if (i < texte.size() && (texte[i] == u'-' || texte[i] == u'+'))
        ++i;
    if (i == texte.size())
        return false;
    for (qsizetype j = i; j < texte.size(); ++j)
        if (texte[j] < u'0' || texte[j] > u'9')
            return false;
    bool ok = false;
    const int v = texte.toInt(&ok, 10);
    if (ok)
        valeur = v;
    return ok;
}

QDateTime lireDateHeure(const QString &texte, const QDate &aujourdhui)
{
    static const QRegularExpression motif(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4}|\d{2})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    const auto m = motif.match(texte);
    const auto refus = [&] {
        return HalvenorError(u'\'' + texte + QStringLiteral("' n'est pas une date et heure correcte"));
    };
    if (!m.hasMatch())
        throw refus();
    const int jour = m.captured(1).toInt();
    const int mois = m.captured(2).toInt();
    int annee = m.captured(3).toInt();
    if (m.captured(3).size() == 2) {
        // Two-digit years fall in [current year - 50, current year + 49].
        const int base = aujourdhui.year() - 50;
        annee += base / 100 * 100;
        if (annee < base)
            annee += 100;
    }
    const QDate d(annee, mois, jour);
    if (!d.isValid())
        throw refus();
    QTime t(0, 0);
    if (m.hasCaptured(4) && !m.captured(4).isEmpty()) {
        const int s = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
        t = QTime(m.captured(4).toInt(), m.captured(5).toInt(), s);
        if (!t.isValid())
            throw refus();
    }
    return QDateTime(d, t);
}

} // namespace formats
