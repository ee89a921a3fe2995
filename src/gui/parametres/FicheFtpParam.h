#pragma once

#include "core/config/Parametres.h"
#include "core/publish/ClientDistant.h"

#include <QDialog>
#include <QPushButton>
#include <QScopedPointer>
#include <QString>

namespace Ui {
class TFicheFtpParam;
}

// Push button whose caption wraps over several lines; text() stays the caption as given.
class BoutonMultiligne : public QPushButton
{
public:
    using QPushButton::QPushButton;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
};

class Tache;

// One FTP or SFTP account (Protocole, Login, Mdp, Host, Port, TLS, EmpreinteSSH) of the configuration file given,
// with a connection test on the values as typed (a task: closing the window cancels it).
class TFicheFtpParam : public QDialog
{
    Q_OBJECT

public:
    TFicheFtpParam(QWidget *owner, QuelCompte compte, QString cheminIni);
    ~TFicheFtpParam() override;

    void btnTestFtpClick();
    void btnEnregistrerClick();
    void reject() override;

private:
    void FormCreate();
    bool sftp() const;
    void afficherProtocole();
    void cbProtocoleChange();
    void lireSaisie(CompteFtp &c) const; // the fields as typed, but the port
    // Asks whether to trust a host key the server showed; yes saves it as EmpreinteSSH.
    void proposerConfiance(const QString &empreinte);

    QScopedPointer<Ui::TFicheFtpParam> ui;
    QuelCompte m_compte;
    QString m_cheminIni;
    Tache *m_tache; // the connection test, off the GUI thread
    bool m_fermerApres = false;
};
