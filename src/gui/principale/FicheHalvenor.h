#pragma once

#include "core/config/Configuration.h"
#include "core/export/TablesHalvenor.h"
#include "core/base/Genres.h"

#include <QScopedPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class Tache;

namespace Ui {
class TFicheHalvenor;
}

// The main window: one row per kind of data, with its "Générer" and "Envoyer" buttons,
// progress bar and indicators; "Configurer", "Rapport" and "Fermer" below. A generation or a
// send runs as a task off the GUI thread; "Annuler" shows while it runs and stops it.
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
    void btnAnnulerClick();

    // The window's task runner: one generation or send at a time.
    Tache &tache() { return *m_tache; }

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
    void actionTerminee();

    QScopedPointer<Ui::TFicheHalvenor> ui;
    EtatConfiguration m_config;
    TablesHalvenor m_tables;
    Tache *m_tache;
    bool m_fermerApres = false; // closed during a task: closes once it has ended
};
