#include "core/reports/Supervision.h"

namespace {

// Beyond this, the line would be too long for a monitoring screen; "…" says there are more.
constexpr qsizetype RougesNommes = 10;

QString franchises(int n)
{
    // French: singular for 0 and 1.
    return QString::number(n) + (n > 1 ? QStringLiteral(" franchisés") : QStringLiteral(" franchisé"));
}

QString nomEtat(EtatSupervision e)
{
    switch (e) {
    case EtatSupervision::OK: return QStringLiteral("OK");
    case EtatSupervision::WARNING: return QStringLiteral("WARNING");
    case EtatSupervision::CRITICAL: return QStringLiteral("CRITICAL");
    case EtatSupervision::UNKNOWN: break;
    }
    return QStringLiteral("UNKNOWN");
}

// A monitoring system reads one line, and "|" starts the performance data.
QString surUneLigne(QString texte)
{
    texte.replace(u'|', u'\u00A6');
    for (QChar &c : texte)
        if (c == u'\n' || c == u'\r' || c == u'\t')
            c = u' ';
    return texte.trimmed();
}

} // namespace

void ResumeRapports::ajouter(const QString &identifiant, bool enErreur)
{
    ++franchises;
    if (enErreur)
        rouges << identifiant;
}

QString texteResume(const ResumeRapports &r)
{
    if (r.franchises == 0)
        return {};
    return franchises(r.franchises) + QStringLiteral(" : ") + QString::number(r.aJour())
        + QStringLiteral(" à jour, ") + QString::number(r.rouges.size()) + QStringLiteral(" en erreur");
}

EtatSupervision etatSupervision(const ResumeRapports &r, const SeuilsSupervision &seuils)
{
    const qsizetype n = r.rouges.size();
    if (n >= seuils.critique)
        return EtatSupervision::CRITICAL;
    if (n >= seuils.avertissement)
        return EtatSupervision::WARNING;
    return EtatSupervision::OK;
}

QString ligneSupervision(const ResumeRapports &r, const SeuilsSupervision &seuils)
{
    const int n = static_cast<int>(r.rouges.size());
    QString resume;
    if (r.franchises == 0) {
        resume = QStringLiteral("aucun rapport de franchisé");
    } else if (n == 0) {
        resume = QStringLiteral("aucun franchisé en erreur sur ") + QString::number(r.franchises);
    } else {
        QStringList noms = r.rouges.mid(0, RougesNommes);
        if (n > RougesNommes)
            noms << QStringLiteral("…");
        resume = franchises(n) + QStringLiteral(" en erreur sur ") + QString::number(r.franchises)
            + QStringLiteral(" : ") + noms.join(QStringLiteral(", "));
    }
    const QString m = QString::number(r.franchises);
    return QStringLiteral("MAJAUTO ") + nomEtat(etatSupervision(r, seuils)) + QStringLiteral(" - ")
        + surUneLigne(resume) + QStringLiteral(" | franchises=") + m + QStringLiteral(";;;0 rouges=")
        + QString::number(n) + u';' + QString::number(seuils.avertissement) + u';'
        + QString::number(seuils.critique) + QStringLiteral(";0;") + m;
}

QString ligneSupervisionInconnue(const QString &raison)
{
    return QStringLiteral("MAJAUTO UNKNOWN - ") + surUneLigne(raison);
}
