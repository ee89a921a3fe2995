#pragma once

#include "core/config/Configuration.h"
#include "core/export/TablesHalvenor.h"
#include "core/publish/Envoi.h"
#include "core/publish/FtpClient.h"
#include "gui/Dialogues.h"

#include <QScopedPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui {
class TFicheHalvenor;
}

// The main window: one row per kind of data, with its "Générer" and "Envoyer" buttons,
// progress bar and indicators; "Configurer", "Rapport" and "Fermer" below.
class TFicheHalvenor : public QWidget
{
    Q_OBJECT

public:
    explicit TFicheHalvenor(QWidget *parent = nullptr);
    ~TFicheHalvenor() override;

    void AppliquerConfiguration(const QString &fichier);

    ::ModeEnvoi ModeEnvoi() const { return m_config.mode; }
    const QString &CheminURI() const { return m_config.CheminURI; }
    bool RapportsRecuperes = false;

    // The publishing session (one file at a time), over IdFTP1.
    bool ConnexionFTP() { return m_session.ConnexionFTP(); }
    bool EnvoiParFtp(const QString &cheminLocal, const QString &nomDistant)
    {
        return m_session.EnvoiParFtp(cheminLocal, nomDistant);
    }
    bool DeconnexionFTP() { return m_session.DeconnexionFTP(); }

    void btnGenererRAClick() { generer(Genre::Remise); }
    void btnGenererPersoClick() { generer(Genre::Personnalisation); }
    void btnGenererMessageClick() { generer(Genre::Messages); }
    void btnGenererDocumentClick() { generer(Genre::Documents); }
    void btnEnvoiRAClick() { envoyer(Genre::Remise); }
    void btnEnvoiPersoClick() { envoyer(Genre::Personnalisation); }
    void btnEnvoiMessageClick() { envoyer(Genre::Messages); }
    void btnEnvoiDocumentClick() { envoyer(Genre::Documents); }
    void btnConfigClick();
    void btnRapportClick();
    void btnFermerClick() { close(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Rangee
    {
        QPushButton *generer;
        QPushButton *envoyer;
        QProgressBar *progression;
        QLabel *genererOui, *genererNon, *envoiOui, *envoiNon;
    };

    void FormCreate();
    Rangee rangee(Genre g) const;
    void generer(Genre g);
    void envoyer(Genre g);

    QScopedPointer<Ui::TFicheHalvenor> ui;
    EtatConfiguration m_config;
    TablesHalvenor m_tables;
    FtpClient IdFTP1;
    MessagesFenetre m_messages;
    SessionFtp m_session;
    bool m_fermetureDemandee = false; // closed during an action: closes when it ends
};
