#include "paradox/FichierParadox.h"
#include "paradox/PageCode.h"
#include "paradox/Table.h"

#include <QDir>
#include <QFile>

namespace paradox {

namespace {

// [ZentraveAdministration] Chemin= of Alias.ini (windows-1252, names without regard to case).
QString cheminDansAliasIni(const QString &fichier)
{
    QFile f(fichier);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString texte = PageCode::windows1252().decoder(f.readAll());
    bool dansSection = false;
    for (QString ligne : texte.split(u'\n')) {
        ligne = ligne.trimmed();
        if (ligne.startsWith(u'[')) {
            dansSection = ligne.endsWith(u']')
                && ligne.mid(1, ligne.size() - 2).trimmed().compare(u"ZentraveAdministration", Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!dansSection)
            continue;
        const qsizetype egal = ligne.indexOf(u'=');
        if (egal > 0 && ligne.left(egal).trimmed().compare(u"Chemin", Qt::CaseInsensitive) == 0)
            return ligne.mid(egal + 1).trimmed();
    }
    return {};
}

} // namespace

QString repertoireAlias(const QString &repertoireProgramme)
{
    QString base = repertoireProgramme;
    if (!base.endsWith(u'/'))
        base += u'/';
    const QString ini = trouverSansCasse(base, QStringLiteral("Alias.ini"));
    QString chemin = ini.isEmpty() ? QString() : cheminDansAliasIni(ini);
    if (chemin.isEmpty())
        return base + QStringLiteral("ZentraveAdministration/");
    chemin.replace(u'\\', u'/');
    if (QDir::isRelativePath(chemin))
        chemin = base + chemin;
    chemin = QDir::cleanPath(chemin);
    if (!chemin.endsWith(u'/'))
        chemin += u'/';
    return chemin;
}

} // namespace paradox
