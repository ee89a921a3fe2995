#pragma once

#include "core/base/Genres.h"
#include "core/base/Progression.h"
#include "core/export/TablesHalvenor.h"

#include <QString>
#include <QStringList>

#include <functional>

// The four generators, shared by the main window's "Générer" buttons and halvenor-cli.
// Nothing is caught: a table, configuration or file error ends the run as a HalvenorError.
// Each file is saved whole (temporary file, then rename): a failed run leaves the previous
// file of that name as it was.

// Writes the kind's files into chemins().RepertoirePreparer (in fichiersGeneres(g) order);
// returns the paths written.
QStringList generer(Genre g, TablesHalvenor &tables, Progression &progression);

// The same, telling `fichierEcrit` each path as soon as its file is saved, so that a
// failure in the second pass of messages or documents still reports the first file.
QStringList generer(Genre g, TablesHalvenor &tables, Progression &progression,
                    const std::function<void(const QString &)> &fichierEcrit);
