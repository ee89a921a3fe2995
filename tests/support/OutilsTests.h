#pragma once

// Small file and recording helpers shared by the GoogleTest and QtTest programs alike: they
// assert nothing themselves, callers check the results with their own framework.

#include "core/base/Horloge.h"
#include "core/base/Messages.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

// The whole file; `siAbsent` when it cannot be opened (empty unless a test must tell a missing
// file from an empty one).
inline QByteArray lireFichier(const QString &chemin, const QByteArray &siAbsent = {})
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : siAbsent;
}

// Replaces the file with exactly `octets`, creating its folder; false when any of it failed.
// Flushed on return, so a modification time set afterwards stays.
inline bool ecrireFichier(const QString &chemin, const QByteArray &octets)
{
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(octets) == octets.size() && f.flush();
}

// What a program run to its end wrote; `code` is -1 when it crashed or was stopped after two
// minutes.
struct SortieProgramme
{
    int code = -1;
    QByteArray octets;
    QString texte; // the output, as UTF-8
    QString erreurs;
};

inline SortieProgramme executer(const QString &programme, const QStringList &arguments)
{
    QProcess p;
    p.start(programme, arguments);
    SortieProgramme s;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return s;
    }
    s.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    s.octets = p.readAllStandardOutput();
    s.texte = QString::fromUtf8(s.octets);
    s.erreurs = QString::fromUtf8(p.readAllStandardError());
    return s;
}

// halvenor-cli on the program directory `repertoire`.
inline SortieProgramme lancerCli(const QString &repertoire, const QStringList &arguments)
{
    return executer(QStringLiteral(HALVENOR_CLI), QStringList{QStringLiteral("--repertoire"), repertoire} + arguments);
}

// A clock stopped at `instant`, which a test may move.
class HorlogeFixe : public Horloge
{
public:
    explicit HorlogeFixe(const QDateTime &a) : instant(a) {}
    QDateTime maintenant() const override { return instant; }
    QDateTime instant;
};

// Keeps every message the core shows, in order.
class MessagesEnregistres : public Messages
{
public:
    void afficher(const QString &texte) override { textes << texte; }
    QStringList textes;
};

// Files this process writes may not grow beyond `octets` while it lives: a write refused
// by the file system, even for root.
class LimiteTaille
{
public:
    explicit LimiteTaille(rlim_t octets)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_avant);
        m_signal = ::signal(SIGXFSZ, SIG_IGN);
        rlimit r = m_avant;
        r.rlim_cur = octets;
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ~LimiteTaille()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_avant);
        ::signal(SIGXFSZ, m_signal);
    }
    LimiteTaille(const LimiteTaille &) = delete;
    LimiteTaille &operator=(const LimiteTaille &) = delete;

private:
    rlimit m_avant{};
    void (*m_signal)(int) = nullptr;
};

// A loopback socket that listens and must never see a connection (`adresse`: 127.0.0.x).
class Piege
{
public:
    explicit Piege(const char *adresse = "127.0.0.1")
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, adresse, &a.sin_addr);
        socklen_t n = sizeof a;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), n) != 0 || ::listen(m_fd, 4) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &n) != 0)
            throw std::runtime_error("socket");
        m_port = ntohs(a.sin_port);
    }
    ~Piege() { ::close(m_fd); }
    Piege(const Piege &) = delete;
    Piege &operator=(const Piege &) = delete;
    int port() const { return m_port; }
    bool connexionRecue(int attenteMs) const
    {
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, attenteMs) > 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};
