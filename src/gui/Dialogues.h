#pragma once

#include "core/base/Messages.h"

#include <QString>

#include <optional>

class QWidget;

// Every modal dialog of the system goes through here, so tests replace it with a recorder.
class Dialogues
{
public:
    virtual ~Dialogues() = default;
    // Message box with an OK button.
    virtual void message(QWidget *parent, const QString &texte) = 0;
    // The standard error dialog.
    virtual void erreur(QWidget *parent, const QString &texte) = 0;
    // A question answered "Oui" (true) or "Non".
    virtual bool question(QWidget *parent, const QString &texte) = 0;
    // Folder chooser; nothing when cancelled.
    virtual std::optional<QString> choisirDossier(QWidget *parent, const QString &titre, const QString &racine) = 0;
    // Save dialog (filter like "Fichier csv (*.csv)", suffix added when the user types none,
    // no overwrite question); nothing when cancelled.
    virtual std::optional<QString> enregistrerSous(QWidget *parent, const QString &titre,
                                                   const QString &filtre, const QString &suffixe) = 0;
};

Dialogues &dialogues();
// Installs a service (not owned); nullptr restores the real dialogs.
void definirDialogues(Dialogues *d);

// Messages of the core shown as message boxes over a window.
class MessagesFenetre : public Messages
{
public:
    explicit MessagesFenetre(QWidget *parent) : m_parent(parent) {}
    void afficher(const QString &texte) override { dialogues().message(m_parent, texte); }

private:
    QWidget *m_parent;
};
