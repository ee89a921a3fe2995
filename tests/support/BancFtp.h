#pragma once

#include "OutilsTests.h"

#include "core/config/Parametres.h"
#include "core/reports/RecuperationRapports.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// What the real-server tests do on any FTP account, through the code the windows and
// halvenor-cli run: publish, refresh the reports, fetch a history, test the connection.
// It owns a program directory (Chemins point at it) and a clock stopped at `maintenant`.
class BancFtp
{
public:
    explicit BancFtp(const QDateTime &maintenant = QDateTime::currentDateTime());
    ~BancFtp();

    // Writes Halvenor.ini with this account in both Halvenor_FTP and Halvenor_Rapport.
    void configurer(const CompteFtp &compte);
    const CompteFtp &compte() const { return m_compte; }

    // The report tree the comparisons use, under `racine` (an account's home): fresh reports,
    // one in error, one too old, a name that is not a report, the history folder.
    // `dossier` makes each folder (the server's user must be able to write there).
    void ecrireRapports(const QString &racine, int nombre, const std::function<void(const QString &)> &dossier);

    // Sends each file of preparer/ (made here with `contenu`) by the publishing session;
    // the messages shown, empty when all went well.
    QStringList publier(const QMap<QString, QByteArray> &fichiers);
    // One refresh as a report window's first one; `connecte` false when the connection failed.
    QList<LigneRapport> actualiser(int jours = 1, bool *connecte = nullptr);
    // The history file fetched for `identifiant`, its bytes; empty when none.
    QByteArray historique(const QString &identifiant);
    // The settings window's connection test, its failure text; empty when it connected.
    QString testerConnexion(const CompteFtp &compte);

    // Lines by identifier: servers list in their own order.
    static QMap<QString, QString> parIdentifiant(const QList<LigneRapport> &lignes);
    // Every entry of a folder, hidden ones too.
    static QStringList contenu(const QString &dossier);

    QStringList messages() const { return m_messages.textes; }
    const QDateTime &maintenant() const { return m_horloge.instant; }

private:
    QTemporaryDir m_tmp;
    QString m_programme;
    HorlogeFixe m_horloge;
    CompteFtp m_compte;
    MessagesEnregistres m_messages;
};

// A report whose Date is `date` and whose General section is in error when `etat` is 1.
QByteArray rapportMajAuto(const QDateTime &date, int etat = 0, const QString &message = QString());
