#include "FtpServeur.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <stdexcept>

namespace {

QStringList argumentsServeur(const QList<FtpServeur::Compte> &comptes, const FtpServeur::Options &options)
{
    QStringList args;
    for (const FtpServeur::Compte &c : comptes)
        args << QStringLiteral("--user") << c.nom << c.motDePasse << c.repertoire << c.permissions;
    if (!options.mlsd)
        args << QStringLiteral("--no-mlsd");
    if (!options.journal.isEmpty())
        args << QStringLiteral("--journal") << options.journal;
    if (!options.certificat.isEmpty())
        args << QStringLiteral("--tls") << options.certificat << options.cle;
    if (!options.panne.isEmpty())
        args << QStringLiteral("--fault") << options.panne;
    for (const QString &n : options.refuserRetr)
        args << QStringLiteral("--refuse-retr") << n;
    for (const QString &n : options.disparaitre)
        args << QStringLiteral("--vanish") << n;
    if (options.nomsBruts)
        args << QStringLiteral("--raw-names");
    for (const QString &n : options.fermer421)
        args << QStringLiteral("--close-421") << n;
    if (options.maxParAdresse > 0)
        args << QStringLiteral("--max-per-ip") << QString::number(options.maxParAdresse);
    if (options.delaiReponse > 0)
        args << QStringLiteral("--delay") << QString::number(options.delaiReponse);
    return args;
}

} // namespace

FtpServeur::FtpServeur(const QList<Compte> &comptes, bool mlsd)
    : FtpServeur(comptes, [mlsd] {
          Options o;
          o.mlsd = mlsd;
          return o;
      }())
{
}

FtpServeur::FtpServeur(const QList<Compte> &comptes, const Options &options)
    : FtpServeur(QStringLiteral(HALVENOR_TEST_SUPPORT "/ftpserver.py"), argumentsServeur(comptes, options))
{
}

FtpServeur::FtpServeur(const QString &script, const QStringList &arguments)
    : m_process(std::make_unique<QProcess>())
{
    const QStringList args = QStringList{script} + arguments;
    // The server's own warnings reach the test's stderr; stdout carries the port.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error("ftpserver.py: cannot start /usr/bin/python3: "
                                 + m_process->errorString().toStdString());

    QByteArray sortie;
    const QDeadlineTimer limite(20000);
    while (!limite.hasExpired()) {
        if (m_process->canReadLine() || m_process->waitForReadyRead(static_cast<int>(limite.remainingTime()))) {
            sortie += m_process->readLine();
            if (sortie.endsWith('\n')) {
                const QByteArray ligne = sortie.trimmed();
                if (ligne.startsWith("PORT ")) {
                    bool ok = false;
                    m_port = ligne.mid(5).toInt(&ok);
                    if (ok && m_port > 0)
                        return;
                }
                sortie.clear();
            }
        } else if (m_process->state() != QProcess::Running) {
            break;
        }
    }
    m_process->kill();
    m_process->waitForFinished(5000);
    throw std::runtime_error("the FTP server did not report its port");
}

FtpServeur::~FtpServeur()
{
    m_process->closeWriteChannel();
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void FtpServeur::creerCertificat(const QString &dossier, const QString &noms, QString &certificat, QString &cle)
{
    certificat = dossier + QStringLiteral("/certificat.pem");
    cle = dossier + QStringLiteral("/cle.pem");
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Halvenor test"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + noms, QStringLiteral("-keyout"), cle,
                   QStringLiteral("-out"), certificat});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        throw std::runtime_error("openssl req failed: " + openssl.readAll().toStdString());
}
