#include "core/config/IniFile.h"
#include "core/paradox/FichierParadox.h"
#include "core/base/PageCode.h"
#include "core/paradox/Table.h"

#include <QDir>
#include <QFile>

#include <map>

namespace paradox {

namespace {

QString fichierAlias(const QString &repertoireProgramme)
{
    QString base = repertoireProgramme;
    if (!base.endsWith(u'/'))
        base += u'/';
    return trouverSansCasse(base, QStringLiteral("Alias.ini"));
}

} // namespace

QStringList motsDePasseAlias(const QString &repertoireProgramme)
{
    const QString ini = fichierAlias(repertoireProgramme);
    if (ini.isEmpty())
        return {};
    // MotDePasse is the first; MotDePasse2, MotDePasse3, ... follow in the order of their number.
    std::map<int, QString> parRang;
    const QString prefixe = QStringLiteral("MotDePasse");
    const QStringList entrees = IniFile(ini).readSectionValues(QStringLiteral("ZentraveAdministration"));
    for (const QString &entree : entrees) {
        const qsizetype egal = entree.indexOf(u'=');
        const QString cle = entree.left(egal).trimmed();
        if (egal < 0 || !cle.startsWith(prefixe, Qt::CaseInsensitive))
            continue;
        const QString suite = cle.mid(prefixe.size());
        bool ok = suite.isEmpty();
        const int rang = ok ? 1 : suite.toInt(&ok);
        if (ok && rang >= 1 && !parRang.count(rang) && egal + 1 < entree.size())
            parRang[rang] = entree.mid(egal + 1);
    }
    // "MotDePasse = x" is read like "Chemin = x": trimmed. A password really beginning or
    // ending with a space is tried as written too; the table's key tells which one is right.
    QStringList mots;
    for (const auto &[rang, mot] : parRang) {
        const QString net = mot.trimmed();
        if (!net.isEmpty())
            mots << net;
        if (net != mot)
            mots << mot;
    }
    return mots;
}

QString repertoireAlias(const QString &repertoireProgramme)
{
    QString base = repertoireProgramme;
    if (!base.endsWith(u'/'))
        base += u'/';
    const QString ini = fichierAlias(repertoireProgramme);
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
