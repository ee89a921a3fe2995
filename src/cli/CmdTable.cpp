#include "cli/Cli.h"

#include "core/paradox/FichierParadox.h"
#include "core/paradox/Table.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

namespace {

using paradox::TypeChamp;

QString heureJson(const QTime &t)
{
    return t.toString(t.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

QJsonValue valeurJson(const paradox::Champ &c)
{
    const QVariant v = c.valeur();
    if (!v.isValid() || v.isNull())
        return QJsonValue::Null;
    switch (c.type()) {
    case TypeChamp::Alpha:
    case TypeChamp::Memo:
    case TypeChamp::FmtMemo:
    case TypeChamp::Bcd:
        return v.toString();
    case TypeChamp::Short:
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
        return v.toLongLong();
    case TypeChamp::Number:
    case TypeChamp::Currency:
        return v.toDouble(); // written in the shortest form that reads back to the same double
    case TypeChamp::Logical:
        return v.toBool();
    case TypeChamp::Date:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case TypeChamp::Time:
        return heureJson(v.toTime());
    case TypeChamp::Timestamp: {
        const QDateTime dt = v.toDateTime();
        return QString(dt.date().toString(QStringLiteral("yyyy-MM-dd")) + u'T' + heureJson(dt.time()));
    }
    case TypeChamp::Blob:
    case TypeChamp::Ole:
    case TypeChamp::Graphic:
    case TypeChamp::Bytes: {
        const QByteArray o = v.toByteArray();
        return QJsonObject{
            {QStringLiteral("size"), qint64(o.size())},
            {QStringLiteral("sha256"),
             QString::fromLatin1(QCryptographicHash::hash(o, QCryptographicHash::Sha256).toHex())}};
    }
    }
    return QJsonValue::Null;
}

int commandeTable(ContexteCli &ctx)
{
    if (!ctx.inconnue.isEmpty())
        throw ErreurUsage(QStringLiteral("Argument inattendu : ") + ctx.inconnue);
    if (ctx.args.size() > 1)
        throw ErreurUsage(QStringLiteral("Argument inattendu : ") + ctx.args[1]);
    if (ctx.args.isEmpty())
        throw ErreurUsage(QStringLiteral("La commande table attend le chemin d'un fichier .DB."));
    const QString chemin = ctx.args.first();
    const bool json = ctx.options.isSet(QStringLiteral("json"));

    auto table = paradox::Table::depuisChemin(chemin);
    // A protected table opens with the passwords of Alias.ini in the program directory.
    table->definirMotsDePasse(paradox::motsDePasseAlias(ctx.repertoire));
    table->open();
    const int n = table->fieldCount();

    if (json) {
        QJsonArray champs;
        for (int i = 0; i < n; ++i) {
            const paradox::Champ &c = table->field(i);
            champs.append(QJsonObject{{QStringLiteral("name"), c.nom()},
                                      {QStringLiteral("type"), paradox::nomType(c.type())},
                                      {QStringLiteral("size"), c.taille()}});
        }
        QJsonArray enregistrements;
        for (table->first(); !table->eof(); table->next()) {
            QJsonArray ligne;
            for (int i = 0; i < n; ++i)
                ligne.append(valeurJson(table->field(i)));
            enregistrements.append(ligne);
        }
        const QJsonObject racine{{QStringLiteral("fields"), champs}, {QStringLiteral("records"), enregistrements}};
        ctx.out << QString::fromUtf8(QJsonDocument(racine).toJson(QJsonDocument::Compact)) << '\n';
        return 0;
    }

    const paradox::FichierParadox &f = table->fichier();
    ctx.out << "Table : " << chemin << '\n'
            << "Version de fichier " << f.version() << (f.typeFichier() == 0 ? ", indexée" : ", non indexée")
            << ", page de code " << f.codePage() << ", " << table->recordCount() << " enregistrement(s)\n"
            << "Champs :\n";
    for (int i = 0; i < n; ++i) {
        const paradox::Champ &c = table->field(i);
        ctx.out << "  " << c.nom() << " (" << paradox::nomType(c.type()) << ", " << c.taille() << ")\n";
    }
    for (table->first(); !table->eof(); table->next()) {
        ctx.out << "\nEnregistrement " << table->recordCourant() + 1 << '\n';
        for (int i = 0; i < n; ++i) {
            const paradox::Champ &c = table->field(i);
            ctx.out << "  " << c.nom() << " = " << (c.isNull() ? QStringLiteral("(vide)") : c.asString()) << '\n';
        }
    }
    return 0;
}

const EnregistrementCommande enregistrement(
    "table", "table FICHIER.DB [--json]",
    "Affiche les champs et tous les enregistrements d'une table Paradox (--json : un objet JSON).",
    &commandeTable, {optionCli("json")});

} // namespace
