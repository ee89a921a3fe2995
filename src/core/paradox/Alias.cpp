#include "core/config/IniFile.h"
#include "core/paradox/FichierParadox.h"
#include "core/base/PageCode.h"
#include "core/paradox/Table.h"

#include <QDir>
#include <QFile>

namespace paradox {

QString repertoireAlias(const QString &repertoireProgramme)
{
    QString base = repertoireProgramme;
    if (!base.endsWith(u'/'))
        base += u'/';
    const QString ini = trouverSansCasse(base, QStringLiteral("Alias.ini"));
    QString chemin = ini.isEmpty() ? QString()
                                   : IniFile(ini).readString(QStringLiteral("ZentraveAdministration"),
                                                             QStringLiteral("Chemin"), QString()).trimmed();
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
