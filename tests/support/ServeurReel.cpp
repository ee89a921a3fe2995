#include "ServeurReel.h"

#include "FtpServeur.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The server's processes run as this user (it exists on every Debian system); uid and gid 1.
const QString UtilisateurServeur = QStringLiteral("daemon");

QString binaire(ServeurReel::Logiciel l)
{
    switch (l) {
    case ServeurReel::Logiciel::Vsftpd: return QStringLiteral("/usr/sbin/vsftpd");
    case ServeurReel::Logiciel::ProFtpd: return QStringLiteral("/usr/sbin/proftpd");
    case ServeurReel::Logiciel::PureFtpd: return QStringLiteral("/usr/sbin/pure-ftpd");
    }
    return {};
}

bool ecrire(const QString &chemin, const QByteArray &octets, QFile::Permissions droits)
{
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(octets) == octets.size()
        && f.setPermissions(droits);
}

QByteArray sortieDe(const QString &programme, const QStringList &arguments, const QByteArray &entree = {})
{
    QProcess p;
    p.start(programme, arguments);
    p.write(entree);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(QString(programme + QStringLiteral(" failed: ")).toStdString()
                                 + p.readAllStandardError().toStdString());
    return p.readAllStandardOutput();
}

// Binds 127.0.0.1:`port` (0: any) and returns the port bound, or 0 when it is taken.
int lier(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t taille = sizeof a;
    int resultat = 0;
    // As the servers bind: a port whose last connections are in TIME_WAIT is free for them.
    const int oui = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &oui, sizeof oui);
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &taille) == 0)
        resultat = ntohs(a.sin_port);
    ::close(s);
    return resultat;
}

// A port nothing listens on now (it may be taken before the server binds it: start retries).
bool portLibre(int port)
{
    return lier(port) == port;
}

// Something listens on 127.0.0.1:`port`: bound is not enough, ProFTPD binds well before it listens.
// Read from /proc, since a probe connection would count against Pure-FTPd's cap.
bool ecoute(int port)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &ligne : tcp.readAll().split('\n')) {
        const QList<QByteArray> champs = ligne.simplified().split(' ');
        if (champs.size() > 3 && champs[1] == local && champs[3] == "0A")
            return true;
    }
    return false;
}

int portEphemere()
{
    const int port = lier(0);
    if (port == 0)
        throw std::runtime_error("no free port on 127.0.0.1");
    return port;
}

} // namespace

QString ServeurReel::dossierServeurs()
{
    const QByteArray env = qgetenv("HALVENOR_SERVEURS");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    QByteArray cache = qgetenv("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = qgetenv("HOME") + "/.cache";
    return QString::fromLocal8Bit(cache) + QStringLiteral("/halvenor/serveurs");
}

QString ServeurReel::nom(Logiciel l)
{
    switch (l) {
    case Logiciel::Vsftpd: return QStringLiteral("vsftpd");
    case Logiciel::ProFtpd: return QStringLiteral("ProFTPD");
    case Logiciel::PureFtpd: return QStringLiteral("Pure-FTPd");
    }
    return {};
}

QString ServeurReel::indisponible(Logiciel l)
{
    // Each server switches to its account's user: only root can start one.
    if (geteuid() != 0)
        return QStringLiteral("the real FTP servers run as root only");
    if (!QFile::exists(dossierServeurs() + binaire(l)))
        return nom(l) + QStringLiteral(" is not laid out in ") + dossierServeurs()
            + QStringLiteral(" (run tests/support/serveurs.sh)");
    if (l == Logiciel::Vsftpd && !QFile::exists(QStringLiteral("/lib/x86_64-linux-gnu/security/pam_pwdfile.so"))
        && !QFile::exists(QStringLiteral("/usr/lib/x86_64-linux-gnu/security/pam_pwdfile.so")))
        return QStringLiteral("vsftpd needs the PAM module pam_pwdfile (package libpam-pwdfile)");
    return {};
}

ServeurReel::ServeurReel(Logiciel logiciel, bool tls)
    : m_logiciel(logiciel), m_tls(tls)
{
    if (!m_tmp.isValid())
        throw std::runtime_error("no temporary folder");
    if (const QString raison = indisponible(logiciel); !raison.isEmpty())
        throw std::runtime_error(raison.toStdString());
    // The server's user walks down to the home, and writes in it.
    ::chmod(QFile::encodeName(m_tmp.path()).constData(), 0755);
    QDir().mkpath(racine());
    ::chmod(QFile::encodeName(racine()).constData(), 0777);
    // vsftpd's empty chroot before login must not be writable by its unprivileged user.
    QDir().mkpath(m_tmp.filePath(QStringLiteral("vide")));
    ::chmod(QFile::encodeName(m_tmp.filePath(QStringLiteral("vide"))).constData(), 0755);
    m_motDePasse = QStringLiteral("Mdp-%1").arg(QRandomGenerator::global()->generate() % 1000000);
    FtpServeur::creerCertificat(m_tmp.path(), QStringLiteral("IP:127.0.0.1,DNS:localhost"), m_certificat, m_cle);
    ::chmod(QFile::encodeName(m_cle).constData(), 0600);

    for (int essai = 0; essai < 16; ++essai) {
        const int port = portEphemere();
        // Passive ports: 32 free ones in a random place below the ephemeral range, where the
        // tests' own client sockets would otherwise take them.
        const int passifMin = 10000 + static_cast<int>(QRandomGenerator::global()->bounded(20000u));
        bool libres = true;
        for (int p = passifMin; p < passifMin + 32 && libres; ++p)
            libres = portLibre(p);
        if (libres && demarrer(port, passifMin, passifMin + 31))
            return;
    }
    arreter();
    throw std::runtime_error("cannot start " + nom(logiciel).toStdString());
}

ServeurReel::~ServeurReel()
{
    arreter();
}

void ServeurReel::creerDossier(const QString &relatif) const
{
    QString chemin = racine();
    for (const QString &partie : relatif.split(u'/', Qt::SkipEmptyParts)) {
        chemin += u'/' + partie;
        QDir().mkpath(chemin);
        ::chmod(QFile::encodeName(chemin).constData(), 0777);
    }
}

bool ServeurReel::demarrer(int port, int passifMin, int passifMax)
{
    const QString base = dossierServeurs();
    const QString dossier = m_tmp.path();
    const QString hachage = QString::fromLatin1(
        sortieDe(QStringLiteral("openssl"), {QStringLiteral("passwd"), QStringLiteral("-6"), QStringLiteral("-stdin")},
                 m_motDePasse.toUtf8() + '\n')
            .trimmed());
    QString programme = base + binaire(m_logiciel);
    QStringList arguments;
    QStringList environnement = QProcess::systemEnvironment();

    switch (m_logiciel) {
    case Logiciel::Vsftpd: {
        // A virtual user through a PAM service of this instance's own, mapped to the server's user.
        m_servicePam = QStringLiteral("halvenor-essai-%1-%2").arg(getpid()).arg(port);
        const QString motsDePasse = dossier + QStringLiteral("/vsftpd.passwd");
        if (!ecrire(motsDePasse, (login() + u':' + hachage + u'\n').toUtf8(), QFile::ReadOwner | QFile::WriteOwner)
            || !ecrire(QStringLiteral("/etc/pam.d/") + m_servicePam,
                       QStringLiteral("auth required pam_pwdfile.so pwdfile=%1\naccount required pam_permit.so\n")
                           .arg(motsDePasse)
                           .toUtf8(),
                       QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther))
            throw std::runtime_error("cannot write the vsftpd PAM service");
        QString conf = QStringLiteral(
                           "listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                           "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
                           "guest_enable=YES\nguest_username=%2\nvirtual_use_local_privs=YES\n"
                           "pam_service_name=%3\nlocal_root=%4\nchroot_local_user=YES\nallow_writeable_chroot=YES\n"
                           "secure_chroot_dir=%5\npasv_min_port=%6\npasv_max_port=%7\nseccomp_sandbox=NO\n"
                           "xferlog_enable=NO\nvsftpd_log_file=%8/vsftpd.log\n")
                           .arg(port)
                           .arg(UtilisateurServeur, m_servicePam, racine(), dossier + QStringLiteral("/vide"))
                           .arg(passifMin)
                           .arg(passifMax)
                           .arg(dossier);
        // TLS as Debian ships it: required for logins and data, with session reuse.
        if (m_tls)
            conf += QStringLiteral("ssl_enable=YES\nrsa_cert_file=%1\nrsa_private_key_file=%2\n").arg(m_certificat, m_cle);
        const QString fichier = dossier + QStringLiteral("/vsftpd.conf");
        if (!ecrire(fichier, conf.toUtf8(), QFile::ReadOwner | QFile::WriteOwner))
            throw std::runtime_error("cannot write vsftpd.conf");
        arguments << fichier;
        break;
    }
    case Logiciel::ProFtpd: {
        const QString motsDePasse = dossier + QStringLiteral("/proftpd.passwd");
        if (!ecrire(motsDePasse, QStringLiteral("%1:%2:1:1::%3:/bin/sh\n").arg(login(), hachage, racine()).toUtf8(),
                    QFile::ReadOwner | QFile::WriteOwner))
            throw std::runtime_error("cannot write the ProFTPD passwd file");
        QString conf = QStringLiteral(
                           "ServerType standalone\nDefaultAddress 127.0.0.1\nSocketBindTight on\nPort %1\n"
                           "PidFile %2/proftpd.pid\nScoreboardFile %2/proftpd.scoreboard\nDelayTable none\n"
                           "WtmpLog off\nUseIPv6 off\nUseReverseDNS off\nUser %3\nGroup %3\n"
                           "AuthOrder mod_auth_file.c\nAuthUserFile %4\nRequireValidShell off\nDefaultRoot ~\n"
                           "AllowOverwrite on\nUmask 022\nPassivePorts %5 %6\nTransferLog none\n"
                           "SystemLog %2/proftpd.log\nModulePath %7/usr/lib/proftpd\n")
                           .arg(port)
                           .arg(dossier, UtilisateurServeur, motsDePasse)
                           .arg(passifMin)
                           .arg(passifMax)
                           .arg(base);
        // mod_tls with its defaults: TLSOptions without NoSessionReuseRequired.
        if (m_tls)
            conf += QStringLiteral("LoadModule mod_tls.c\nTLSEngine on\nTLSRequired on\nTLSECCertificateFile %1\n"
                                   "TLSECCertificateKeyFile %2\nTLSLog %3/tls.log\n")
                        .arg(m_certificat, m_cle, dossier);
        const QString fichier = dossier + QStringLiteral("/proftpd.conf");
        if (!ecrire(fichier, conf.toUtf8(), QFile::ReadOwner | QFile::WriteOwner))
            throw std::runtime_error("cannot write proftpd.conf");
        arguments << QStringLiteral("-n") << QStringLiteral("-q") << QStringLiteral("-c") << fichier;
        break;
    }
    case Logiciel::PureFtpd: {
        const QString puredb = dossier + QStringLiteral("/pureftpd.pdb");
        const QString passwd = dossier + QStringLiteral("/pureftpd.passwd");
        // The file pure-pw would write, with a SHA-512 crypt hash: its own argon2id takes
        // seconds per login on a small machine.
        if (!ecrire(passwd, QStringLiteral("%1:%2:1:1::%3/./::::::::::::\n").arg(login(), hachage, racine()).toUtf8(),
                    QFile::ReadOwner | QFile::WriteOwner))
            throw std::runtime_error("cannot write the Pure-FTPd passwd file");
        QFile::remove(puredb);
        sortieDe(base + QStringLiteral("/usr/bin/pure-pw"),
                 {QStringLiteral("mkdb"), puredb, QStringLiteral("-f"), passwd});
        arguments << QStringLiteral("-S") << QStringLiteral("127.0.0.1,%1").arg(port) << QStringLiteral("-4")
                  << QStringLiteral("-H") << QStringLiteral("-E") << QStringLiteral("-A") << QStringLiteral("-l")
                  << QStringLiteral("puredb:") + puredb << QStringLiteral("-p")
                  << QStringLiteral("%1:%2").arg(passifMin).arg(passifMax) << QStringLiteral("-C")
                  << QStringLiteral("2");
        if (m_tls) {
            // One PEM with the key and the certificate; 2: clear text refused.
            const QString pem = dossier + QStringLiteral("/pure-ftpd.pem");
            QFile cle(m_cle), cert(m_certificat);
            if (!cle.open(QIODevice::ReadOnly) || !cert.open(QIODevice::ReadOnly)
                || !ecrire(pem, cle.readAll() + cert.readAll(), QFile::ReadOwner | QFile::WriteOwner))
                throw std::runtime_error("cannot write the Pure-FTPd certificate");
            arguments << QStringLiteral("-Y") << QStringLiteral("2") << QStringLiteral("-2") << pem;
        }
        break;
    }
    }

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(dossier + QStringLiteral("/sortie.txt"));
    // Its own process group: the sessions it forks stop with it; and it ends with the test,
    // even one that aborts.
    m_process->setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process->start(programme, arguments);
    if (!m_process->waitForStarted(10000))
        return false;
    const QDeadlineTimer limite(10000);
    while (!limite.hasExpired()) {
        if (m_process->state() != QProcess::Running)
            break;
        if (ecoute(port)) {
            m_port = port;
            return true;
        }
        QThread::msleep(20);
    }
    arreter();
    return false;
}

void ServeurReel::arreter()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        const pid_t groupe = static_cast<pid_t>(m_process->processId());
        ::kill(-groupe, SIGTERM);
        if (!m_process->waitForFinished(5000)) {
            ::kill(-groupe, SIGKILL);
            m_process->waitForFinished(5000);
        }
        // Sessions still finishing their work.
        ::kill(-groupe, SIGKILL);
    }
    m_process.reset();
    if (!m_servicePam.isEmpty()) {
        QFile::remove(QStringLiteral("/etc/pam.d/") + m_servicePam);
        m_servicePam.clear();
    }
}
