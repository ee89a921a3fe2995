#include "core/base/Formats.h"

#include "core/base/Erreurs.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    if (v == 0.0 || std::isnan(v) || std::isinf(v)) {
        if (std::isnan(v))
            return QStringLiteral("NAN");
        if (std::isinf(v))
            return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
        return QStringLiteral("0");
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
    // buf: d.dddddddddddddde[+-]XX
    QString chiffres;
    const char *p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            chiffres += QLatin1Char(*p);
    const int exposant = std::atoi(p + 1);
    while (chiffres.size() > 1 && chiffres.endsWith(u'0'))
        chiffres.chop(1);

    QString resultat = v < 0 ? QStringLiteral("-") : QString();
    if (exposant >= 15 || exposant < -5) {
        resultat += chiffres.left(1);
        if (chiffres.size() > 1)
            resultat += u',' + chiffres.mid(1);
        resultat += u'E';
        if (exposant < 0)
            resultat += u'-';
        resultat += QString::number(std::abs(exposant));
    } else if (exposant >= 0) {
        QString entier = chiffres.left(exposant + 1);
        while (entier.size() < exposant + 1)
            entier += u'0';
        resultat += entier;
        const QString fraction = chiffres.mid(exposant + 1);
        if (!fraction.isEmpty())
            resultat += u',' + fraction;
    } else {
        resultat += QStringLiteral("0,") + QString(-exposant - 1, u'0') + chiffres;
    }
    return resultat;
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
