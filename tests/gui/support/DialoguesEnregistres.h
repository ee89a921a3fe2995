#pragma once

#include "gui/Dialogues.h"

#include <QString>
#include <QStringList>

#include <deque>

// Records every dialog instead of showing it; answers the choosers from queues.
class DialoguesEnregistres : public Dialogues
{
public:
    DialoguesEnregistres() { definirDialogues(this); }
    ~DialoguesEnregistres() override { definirDialogues(nullptr); }

    void message(QWidget *, const QString &texte) override { messages << texte; }
    void erreur(QWidget *, const QString &texte) override { erreurs << texte; }
    // Answered from `reponses`; an empty queue answers "Non".
    bool question(QWidget *, const QString &texte) override
    {
        questions << texte;
        if (reponses.empty())
            return false;
        const bool oui = reponses.front();
        reponses.pop_front();
        return oui;
    }
    std::optional<QString> choisirDossier(QWidget *, const QString &titre, const QString &racine) override
    {
        titresDossier << titre;
        racinesDossier << racine;
        return prochain(dossiers);
    }
    std::optional<QString> enregistrerSous(QWidget *, const QString &titre, const QString &filtre,
                                           const QString &suffixe) override
    {
        titresEnregistrer << titre;
        filtresEnregistrer << filtre;
        suffixesEnregistrer << suffixe;
        return prochain(fichiers);
    }

    void vider()
    {
        messages.clear();
        erreurs.clear();
    }

    QStringList messages;
    QStringList erreurs;
    QStringList questions;
    std::deque<bool> reponses;
    QStringList titresDossier, racinesDossier;
    QStringList titresEnregistrer, filtresEnregistrer, suffixesEnregistrer;
    // Answers, in order; an empty optional stands for "cancelled". Empty queue: cancelled.
    std::deque<std::optional<QString>> dossiers;
    std::deque<std::optional<QString>> fichiers;

private:
    static std::optional<QString> prochain(std::deque<std::optional<QString>> &file)
    {
        if (file.empty())
            return std::nullopt;
        // Built from the plain value: GCC 12 sees a copied optional<QString> as maybe uninitialised.
        const bool annule = !file.front().has_value();
        const QString valeur = annule ? QString() : *file.front();
        file.pop_front();
        if (annule)
            return std::nullopt;
        return valeur;
    }
};
