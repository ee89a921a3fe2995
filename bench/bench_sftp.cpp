// The report refresh's SFTP part as bench/bench_sftp.sh times it: log in, list /Rapport, fetch
// every .xml over N sessions. Not a Google Benchmark: the script compares it with lftp.
// Usage: bench_sftp PORT USER KEY FINGERPRINT DEST [SESSIONS]
#include "core/config/Parametres.h"
#include "core/publish/SftpClient.h"

#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: bench_sftp PORT USER KEY FINGERPRINT DEST [SESSIONS]\n");
        return 2;
    }
    CompteFtp compte;
    compte.protocole = CompteFtp::Protocole::SFTP;
    compte.Host = QStringLiteral("127.0.0.1");
    compte.Port = QString::fromLocal8Bit(argv[1]).toInt();
    compte.Login = QString::fromLocal8Bit(argv[2]);
    compte.cleSsh = QString::fromLocal8Bit(argv[3]);
    compte.empreinteSsh = QString::fromLocal8Bit(argv[4]);
    const QString dest = QString::fromLocal8Bit(argv[5]);
    const int sessions = argc > 6 ? QString::fromLocal8Bit(argv[6]).toInt() : 4;
    QDir().mkpath(dest);
    try {
        SftpClient client;
        client.configurer(compte, QDir::currentPath());
        client.connect();
        client.changeDir(QStringLiteral("/Rapport"));
        QList<Telechargement> fichiers;
        for (const FtpEntree &e : client.list()) {
            if (e.type == FtpEntree::Type::Fichier && e.nom.endsWith(QStringLiteral(".xml")))
                fichiers << Telechargement{e.brut, dest + u'/' + e.nom};
        }
        int echecs = 0;
        for (const ResultatFtp &r : client.getParallele(fichiers, sessions, 16 << 20)) {
            if (!r) {
                ++echecs;
                std::fprintf(stderr, "%s\n", qPrintable(r.echec().texte()));
            }
        }
        client.disconnect();
        std::printf("%lld %d\n", static_cast<long long>(fichiers.size()), echecs);
        return echecs == 0 ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
