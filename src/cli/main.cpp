#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <map>

namespace {

// SIGINT and SIGTERM stop the running command through this token; the command then cleans
// up as after any cancellation (no temporary file is left) and main exits with 128 + signal.
Annulation g_annulation;
volatile std::sig_atomic_t g_signal = 0;

extern "C" void surSignal(int numero)
{
    g_signal = numero;
    g_annulation.annuler();
}

void installerSignaux()
{
    struct sigaction action {};
    action.sa_handler = &surSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

struct Commande
{
    QString usage;
    QString description;
    FonctionCommande fonction;
    QList<QCommandLineOption> options;
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

QCommandLineOption optionRepertoire()
{
    return optionCli("repertoire", "DIR");
}

// Options are read by QCommandLineParser; what it cannot tell in words of its own (which
// argument was not understood, as typed) is found again among the arguments.
struct Analyse
{
    QString inconnue;
    QString sansValeur;
};

Analyse analyser(QCommandLineParser &p, const QList<QCommandLineOption> &declarees, const QStringList &arguments)
{
    Analyse a;
    p.addOptions(declarees);
    if (p.parse(QStringList{QStringLiteral("halvenor-cli")} + arguments))
        return a;
    if (p.unknownOptionNames().isEmpty()) {
        // The only other failure: the last argument is an option waiting for its value.
        a.sansValeur = arguments.value(arguments.size() - 1);
        return a;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == u"--")
            break;
        if (!arg.startsWith(u'-') || arg == u"-")
            continue;
        QString nom = arg.mid(arg.startsWith(u"--") ? 2 : 1);
        const bool avecEgal = nom.contains(u'=');
        nom = nom.section(u'=', 0, 0);
        bool connue = false;
        for (const QCommandLineOption &o : declarees) {
            if (o.names().contains(nom)) {
                connue = true;
                if (!o.valueName().isEmpty() && !avecEgal)
                    ++i; // its value follows
                break;
            }
        }
        if (!connue) {
            a.inconnue = arg;
            break;
        }
    }
    return a;
}

} // namespace

EnregistrementCommande::EnregistrementCommande(const char *nom, const char *usage, const char *description,
                                               FonctionCommande f, const QList<QCommandLineOption> &options)
    : EnregistrementCommande(nom, usage, QString::fromUtf8(description), f, options)
{
}

EnregistrementCommande::EnregistrementCommande(const char *nom, const char *usage, const QString &description,
                                               FonctionCommande f, const QList<QCommandLineOption> &options)
{
    registre()[QString::fromUtf8(nom)] = {QString::fromUtf8(usage), description, f, options};
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    const auto repertoireSansValeur = [&err] {
        err << "--repertoire attend un répertoire.\n\n";
        afficherUsage(err);
        return 2;
    };

    // Before the command: --repertoire and the help; everything from the command on is its own.
    QCommandLineParser general;
    general.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption aide(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QStringList arguments = app.arguments().mid(1);
    const Analyse avant = analyser(general, {optionRepertoire(), aide}, arguments);
    if (!avant.sansValeur.isEmpty())
        return repertoireSansValeur();
    if (!avant.inconnue.isEmpty()) {
        err << "Commande inconnue : " << avant.inconnue << "\n\n";
        afficherUsage(err);
        return 2;
    }
    QStringList reste = general.positionalArguments();
    if (reste.isEmpty() && !general.isSet(aide)) {
        afficherUsage(err);
        return 2;
    }
    if (general.isSet(aide) || reste.first() == u"aide") {
        afficherUsage(out);
        return 0;
    }
    const QString nom = reste.takeFirst();
    const auto it = registre().find(nom);
    if (it == registre().end()) {
        err << "Commande inconnue : " << nom << "\n\n";
        afficherUsage(err);
        return 2;
    }

    // The command's options, and --repertoire again: it may follow the command.
    QCommandLineParser options;
    const Analyse apres = analyser(options, QList<QCommandLineOption>{optionRepertoire()} + it->second.options, reste);
    if (apres.sansValeur == u"--repertoire")
        return repertoireSansValeur();
    QString repertoire = QCoreApplication::applicationDirPath();
    if (options.isSet(QStringLiteral("repertoire")))
        repertoire = options.value(QStringLiteral("repertoire"));
    else if (general.isSet(QStringLiteral("repertoire")))
        repertoire = general.value(QStringLiteral("repertoire"));

    const Chemins c = Chemins::depuisRepertoire(QFileInfo(repertoire).absoluteFilePath());
    definirChemins(c);
    ContexteCli ctx{c.RepertoireProgramme, options.positionalArguments(), options, apres.inconnue,
                    apres.sansValeur, out, err, &g_annulation};
    installerSignaux();
    int code = 1;
    try {
        code = it->second.fonction(ctx);
    } catch (const ErreurUsage &e) {
        out.flush();
        err << e.message << "\nUsage : halvenor-cli [--repertoire DIR] " << it->second.usage << '\n';
        code = 2;
    } catch (const std::exception &e) {
        out.flush();
        // A failure the interruption caused is no failure to report.
        if (g_signal == 0)
            err << texteErreur(e) << '\n';
        code = 1;
    }
    out.flush();
    if (g_signal != 0) {
        err << "Interrompu.\n";
        code = 128 + static_cast<int>(g_signal);
    }
    err.flush();
    return code;
}
