#include "core/reports/TriRapports.h"

#include <QCollator>

#include <algorithm>

std::optional<OrdreRapports> ordreDepuisMot(const QString &mot)
{
    if (mot == u"franchise")
        return OrdreRapports::Franchise;
    if (mot == u"etat")
        return OrdreRapports::Etat;
    if (mot == u"date")
        return OrdreRapports::Date;
    return std::nullopt;
}

namespace {

int compareIdentifiants(const QString &a, const QString &b)
{
    // Built once: a collator is costly, and the sort calls this thousands of times.
    static const QCollator collateur = [] {
        QCollator c{QLocale(QLocale::French, QLocale::France)};
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collateur.compare(a, b);
}

} // namespace

bool avantDans(OrdreRapports ordre, const LigneRapport &a, const LigneRapport &b)
{
    switch (ordre) {
    case OrdreRapports::Serveur:
        return a.rang < b.rang;
    case OrdreRapports::Franchise:
        return compareIdentifiants(a.identifiant, b.identifiant) < 0;
    case OrdreRapports::Etat:
        return a.enErreur && !b.enErreur;
    case OrdreRapports::Date:
        if (a.date.isValid() != b.date.isValid())
            return !a.date.isValid();
        return a.date < b.date;
    }
    return false;
}

void trierLignes(QList<LigneRapport> &lignes, OrdreRapports ordre)
{
    std::stable_sort(lignes.begin(), lignes.end(),
                     [ordre](const LigneRapport &a, const LigneRapport &b) { return avantDans(ordre, a, b); });
}

QString cleRecherche(const QString &texte)
{
    const QString decompose = texte.normalized(QString::NormalizationForm_D);
    QString cle;
    cle.reserve(decompose.size());
    for (const QChar c : decompose)
        if (c.category() != QChar::Mark_NonSpacing)
            cle += c;
    return cle.toCaseFolded();
}

QString cleRecherche(const LigneRapport &ligne)
{
    return cleRecherche(ligne.identifiant + u'\n' + ligne.texte);
}
