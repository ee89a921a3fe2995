#pragma once

#include "core/base/Genres.h"
#include "core/config/Parametres.h"

#include <QString>

#include <array>

// What Halvenor.ini says to the main window: which rows are usable, and how files are published.
struct EtatConfiguration
{
    std::array<bool, 4> actifs{}; // by Genre, in row order; both buttons of a row share it
    ModeEnvoi mode = ModeEnvoi::FTP;
    QString CheminURI;

    bool actif(Genre g) const { return actifs[static_cast<size_t>(g)]; }
};

// Reads the file at `fichier` into `etat`. A missing file changes nothing; a mode word
// other than exactly "FTP" or "URI" keeps the current mode and path.
void AppliquerConfiguration(const QString &fichier, EtatConfiguration &etat);
