#include "core/base/Chemins.h"

#include <QDir>

namespace {
Chemins g_chemins;
}

Chemins Chemins::depuisRepertoire(const QString &repertoireProgramme)
{
    Chemins c;
    QString base = QDir::cleanPath(QDir(repertoireProgramme).absolutePath());
    if (!base.endsWith(u'/'))
        base += u'/';
    c.RepertoireProgramme = base;
    c.RepertoirePreparer = base + QStringLiteral("preparer/");
    c.FichierIni = base + QStringLiteral("Halvenor.ini");
    c.RepertoireRapport = base + QStringLiteral("Rapport/");
    c.RepertoireHistorique = c.RepertoireRapport + QStringLiteral("Historique/");
    return c;
}

const Chemins &chemins()
{
    return g_chemins;
}

void definirChemins(const Chemins &c)
{
    g_chemins = c;
}

QString cheminDepuis(const QString &repertoire, const QString &chemin)
{
    QString c = chemin.trimmed();
    if (c.isEmpty())
        return c;
    c.replace(u'\\', u'/');
    if (QDir::isRelativePath(c))
        c = QDir(repertoire).absoluteFilePath(c);
    return QDir::cleanPath(c);
}

QString cheminDuProgramme(const QString &chemin)
{
    return cheminDepuis(g_chemins.RepertoireProgramme, chemin);
}
