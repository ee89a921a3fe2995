#pragma once

#include "core/base/Annulation.h"
#include "core/base/Messages.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <stdexcept>

// Shared frame of halvenor-cli's commands. Each command lives in its own file and
// registers itself with a static EnregistrementCommande.

struct ContexteCli
{
    QString repertoire;  // program directory (--repertoire DIR, else the executable's own), ends with "/"
    QStringList args;    // the command's positional arguments
    const QCommandLineParser &options; // the command's own options, as parsed
    // The first option the command does not know, as typed; an option of the command given
    // last without its value. Empty when none: the command words its own usage error.
    QString inconnue;
    QString sansValeur;
    QTextStream &out;    // UTF-8 stdout
    QTextStream &err;    // UTF-8 stderr
    const Annulation *annulation; // set by SIGINT or SIGTERM: the command stops where it can
};

// Thrown by a command for a usage error: exit 2 with the usage text.
class ErreurUsage : public std::runtime_error
{
public:
    explicit ErreurUsage(const QString &m) : std::runtime_error(m.toStdString()), message(m) {}
    QString message;
};

// Message boxes of the window become lines on stderr.
class MessagesCli : public Messages
{
public:
    explicit MessagesCli(QTextStream &err) : m_err(err) {}
    void afficher(const QString &texte) override
    {
        m_err << texte << '\n';
        m_err.flush();
    }

private:
    QTextStream &m_err;
};

// A command returns its exit code: 0 success, 1 a failure it reported on err.
// A HalvenorError escaping it is printed and gives 1.
using FonctionCommande = int (*)(ContexteCli &);

struct EnregistrementCommande
{
    EnregistrementCommande(const char *nom, const char *usage, const char *description, FonctionCommande f,
                           const QList<QCommandLineOption> &options = {});
    EnregistrementCommande(const char *nom, const char *usage, const QString &description, FonctionCommande f,
                           const QList<QCommandLineOption> &options = {});
};

// An option of a command: --nom, with a value when `valeur` names it.
inline QCommandLineOption optionCli(const char *nom, const char *valeur = nullptr)
{
    return valeur ? QCommandLineOption(QString::fromLatin1(nom), QString(), QString::fromLatin1(valeur))
                  : QCommandLineOption(QString::fromLatin1(nom));
}
