#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <map>

namespace {

struct Commande
{
    QString usage;
    QString description;
    FonctionCommande fonction;
};

std::map<QString, Commande> &registre()
{
    static std::map<QString, Commande> r;
    return r;
}

void afficherUsage(QTextStream &s)
{
    s << "Usage : halvenor-cli [--repertoire DIR] COMMANDE [ARGUMENTS]\n\n"
         "Le compagnon en ligne de commande de Halvenor. --repertoire désigne le répertoire\n"
         "du programme (Halvenor.ini, preparer/, Rapport/) à la place de celui de l'exécutable.\n\n"
         "Commandes :\n";
    for (const auto &[nom, c] : registre())
        s << "  " << c.usage << "\n      " << c.description << '\n';
}

} // namespace

EnregistrementCommande::EnregistrementCommande(const char *nom, const char *usage, const char *description,
                                               FonctionCommande f)
{
    registre()[QString::fromUtf8(nom)] = {QString::fromUtf8(usage), QString::fromUtf8(description), f};
}

EnregistrementCommande::EnregistrementCommande(const char *nom, const char *usage, const QString &description,
                                               FonctionCommande f)
{
    registre()[QString::fromUtf8(nom)] = {QString::fromUtf8(usage), description, f};
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    QStringList args = app.arguments().mid(1);
    QString repertoire = QCoreApplication::applicationDirPath();
    QStringList reste;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--repertoire") {
            if (i + 1 >= args.size()) {
                err << "--repertoire attend un répertoire.\n\n";
                afficherUsage(err);
                return 2;
            }
            repertoire = args[++i];
        } else if (a.startsWith(u"--repertoire=")) {
            repertoire = a.mid(13);
        } else {
            reste << a;
        }
    }
    if (reste.isEmpty() || reste.first() == u"--help" || reste.first() == u"-h" || reste.first() == u"aide") {
        afficherUsage(reste.isEmpty() ? err : out);
        return reste.isEmpty() ? 2 : 0;
    }
    const QString nom = reste.takeFirst();
    const auto it = registre().find(nom);
    if (it == registre().end()) {
        err << "Commande inconnue : " << nom << "\n\n";
        afficherUsage(err);
        return 2;
    }

    const Chemins c = Chemins::depuisRepertoire(QFileInfo(repertoire).absoluteFilePath());
    definirChemins(c);
    ContexteCli ctx{c.RepertoireProgramme, reste, out, err};
    int code = 1;
    try {
        code = it->second.fonction(ctx);
    } catch (const ErreurUsage &e) {
        out.flush();
        err << e.message << "\nUsage : halvenor-cli [--repertoire DIR] " << it->second.usage << '\n';
        code = 2;
    } catch (const std::exception &e) {
        out.flush();
        err << texteErreur(e) << '\n';
        code = 1;
    }
    out.flush();
    err.flush();
    return code;
}
