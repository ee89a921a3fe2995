#pragma once

#include <QDialog>
#include <QScopedPointer>

class QAbstractButton;

namespace Ui {
class TFicheHalvenorConfig;
}

// "Configurer": which kinds of data are published, and how (FTP or copy into a folder).
// Loads from Halvenor.ini when created; "Enregistrer" saves the kinds, the mode and the path at once.
class TFicheHalvenorConfig : public QDialog
{
    Q_OBJECT

public:
    explicit TFicheHalvenorConfig(QWidget *owner);
    ~TFicheHalvenorConfig() override;

    void rbFtpClick();
    void rbCheminClick();
    void cbRemiseAchatClick();
    void btnFtpParamClick();
    void btnHalvenorRepClick();
    void btnExclureClick();
    void btnEnregistrerClick();

private:
    void FormCreate();
    void regleFtp();
    void regleChemin();

    QScopedPointer<Ui::TFicheHalvenorConfig> ui;
    // The radio button selected before the current click: a click on it changes nothing.
    QAbstractButton *m_choix = nullptr;
    bool m_exclusionOuverte = false;
};
