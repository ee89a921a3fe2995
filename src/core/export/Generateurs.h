#pragma once

#include "core/base/Annulation.h"
#include "core/base/Genres.h"
#include "core/base/Progression.h"
#include "core/export/TablesHalvenor.h"

#include <QString>
#include <QStringList>

#include <functional>

// The four generators, shared by the main window's "Générer" buttons and halvenor-cli.
// Nothing is caught: a table, configuration or file error ends the run as a HalvenorError.
// Each file is saved whole (temporary file, then rename): a failed or cancelled run leaves
// the previous file of that name as it was.

// What one generation needs, given by the caller: nothing is read from globals.
struct ContexteExport
{
    QString dossierPreparer;        // where the files go, ending with "/"
    QStringList fournisseursExclus; // [Halvenor_FNS_Exclu], as read at the click
    Progression &progression;
    const Annulation *annulation = nullptr; // checked every block of records
};

// Writes the kind's files into ctx.dossierPreparer (in fichiersGeneres(g) order) and returns
// the paths written. Once ctx.annulation asks to stop, the walk ends at its next block, the
// file being written keeps its previous version, and the paths written before are returned.
// `fichierEcrit` hears each path as soon as its file is saved, so that a failure in the
// second pass of messages or documents still reports the first file.
QStringList generer(Genre g, TablesHalvenor &tables, const ContexteExport &ctx,
                    const std::function<void(const QString &)> &fichierEcrit = {});
