#include "FtpServeur.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <stdexcept>

namespace {

QStringList argumentsServeur(const QList<FtpServeur::Compte> &comptes, bool mlsd)
{
    QStringList args;
    for (const FtpServeur::Compte &c : comptes)
        args << QStringLiteral("--user") << c.nom << c.motDePasse << c.repertoire << c.permissions;
    if (!mlsd)
        args << QStringLiteral("--no-mlsd");
    return args;
}

} // namespace

FtpServeur::FtpServeur(const QList<Compte> &comptes, bool mlsd)
    : FtpServeur(QStringLiteral(HALVENOR_TEST_SUPPORT "/ftpserver.py"), argumentsServeur(comptes, mlsd))
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
