#include "SshServeur.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray executer(const QString &programme, const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programme, arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(programme.toStdString() + " failed: " + p.readAll().toStdString());
    return p.readAll();
}

sockaddr_in adresse(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

int portLibre()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = adresse(0);
    socklen_t n = sizeof a;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), n) == 0
                 && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &n) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw std::runtime_error("no free port on 127.0.0.1");
    return ntohs(a.sin_port);
}

// The banner tells sshd from whatever else took the port.
bool repond(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in a = adresse(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    if (ok) {
        pollfd p{fd, POLLIN, 0};
        char banniere[256] = {};
        ok = ::poll(&p, 1, 2000) == 1 && ::recv(fd, banniere, sizeof banniere - 1, 0) >= 15
          && QByteArray(banniere).startsWith("SSH-2.0-OpenSSH");
        // A polite goodbye, so that sshd does not log the probe as an error.
        const char salut[] = "SSH-2.0-sonde\r\n";
        if (ok && ::send(fd, salut, sizeof salut - 1, MSG_NOSIGNAL) > 0)
            ::shutdown(fd, SHUT_WR);
    }
    ::close(fd);
    return ok;
}

} // namespace

QString SshServeur::programme()
{
    QString dossier = qEnvironmentVariable("HALVENOR_OPENSSH");
    if (dossier.isEmpty()) {
        const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
        dossier = (xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : xdg)
                + QStringLiteral("/halvenor/openssh-server");
    }
    return dossier + QStringLiteral("/usr/sbin/sshd");
}

namespace {

QString cleDeType(const QString &dossier, const QString &nom, const QString &type)
{
    const QString chemin = dossier + u'/' + nom;
    executer(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"),
                                            QString(), QStringLiteral("-C"), nom, QStringLiteral("-f"), chemin});
    return chemin;
}

} // namespace

QString SshServeur::creerCle(const QString &dossier, const QString &nom)
{
    return cleDeType(dossier, nom, QStringLiteral("ed25519"));
}

SshServeur::SshServeur(const QString &repertoire)
    : SshServeur(repertoire, Options{})
{
}

SshServeur::SshServeur(const QString &repertoire, const Options &options)
{
    if (!QFile::exists(programme()))
        throw std::runtime_error(programme().toStdString() + " is missing: run tests/support/preparer_sshd.sh");
    if (!m_dossier.isValid())
        throw std::runtime_error("no temporary folder");
    const QString d = m_dossier.path();
    // /run is emptied at boot: the folder that set-up made for sshd's privilege separation.
    if (geteuid() == 0)
        QDir().mkpath(QStringLiteral("/run/sshd"));
    const passwd *pw = getpwuid(geteuid());
    m_utilisateur = QString::fromLocal8Bit(pw ? pw->pw_name : "root");
    QByteArray clesHote = "HostKey " + QFile::encodeName(d) + "/hote\n";
    creerCle(d, QStringLiteral("hote"));
    if (options.plusieursCles) {
        for (const QString &type : {QStringLiteral("ecdsa"), QStringLiteral("rsa")})
            clesHote += "HostKey " + QFile::encodeName(cleDeType(d, QStringLiteral("hote_") + type, type)) + '\n';
        // RSA signed with SHA-1, as OpenSSH before 8.8 still offers it: libssh2 1.10 knows no other.
        clesHote += "HostKeyAlgorithms +ssh-rsa\n";
    }
    creerCle(d, QStringLiteral("client"));
    QFile::copy(d + QStringLiteral("/client.pub"), d + QStringLiteral("/authorized_keys"));

    // A port can be taken between our probe and sshd's bind: a few tries.
    for (int essai = 0; essai < 5; ++essai) {
        m_port = portLibre();
        QFile config(d + QStringLiteral("/sshd_config"));
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write sshd_config");
        QByteArray texte = "ListenAddress 127.0.0.1\nPort " + QByteArray::number(m_port) + "\n" + clesHote
                         + "PidFile none\nAuthorizedKeysFile " + QFile::encodeName(d)
                         + "/authorized_keys\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                           "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n"
                           "AllowUsers " + m_utilisateur.toLocal8Bit() + "\nLogLevel ERROR\n"
                           "Subsystem sftp internal-sftp\nForceCommand internal-sftp -d " + QFile::encodeName(QDir(repertoire).absolutePath()) + '\n';
        if (options.demarragesMax > 0)
            texte += "PerSourceMaxStartups " + QByteArray::number(options.demarragesMax) + '\n';
        config.write(texte);
        config.close();

        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!options.fuseau.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TZ"), options.fuseau);
            m_process->setProcessEnvironment(env);
        }
        // Ends with the test even when it aborts, or its inherited output would hold ctest.
        m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // sshd re-executes itself: an absolute path.
        m_process->start(programme(), {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
                                       d + QStringLiteral("/sshd_config")});
        if (!m_process->waitForStarted(10000))
            throw std::runtime_error("sshd does not start: " + m_process->errorString().toStdString());
        const QDeadlineTimer limite(10000);
        while (!limite.hasExpired() && m_process->state() == QProcess::Running) {
            if (repond(m_port))
                return;
            QThread::msleep(20);
        }
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    throw std::runtime_error("sshd did not start listening");
}

SshServeur::~SshServeur()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString SshServeur::cleClient() const
{
    return m_dossier.path() + QStringLiteral("/client");
}

QString SshServeur::empreinte() const
{
    return ligneEmpreinte().section(u' ', 1, 1);
}

QString SshServeur::ligneEmpreinte(const QString &cle) const
{
    const QString pub = m_dossier.path() + u'/' + cle + QStringLiteral(".pub");
    return QString::fromLatin1(executer(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), pub})).trimmed();
}

QString SshServeur::ligneHotesConnus() const
{
    QFile pub(m_dossier.path() + QStringLiteral("/hote.pub"));
    pub.open(QIODevice::ReadOnly);
    const QList<QByteArray> champs = pub.readAll().split(' ');
    return QStringLiteral("[127.0.0.1]:%1 ").arg(m_port) + QString::fromLatin1(champs.value(0) + ' ' + champs.value(1));
}
