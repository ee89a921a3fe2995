#pragma once

#include <QFileDevice>
#include <QString>

class QSaveFile;

// Qt 6.4's QSaveFile takes a short write followed by an error for success and would rename a
// half file over a whole one: the size on disk is checked before the rename.
// Returns an empty text on success, else the reason; the temporary file is then discarded.
QString terminerEcriture(QSaveFile &f, qint64 attendu);

// Writes `octets` whole at `chemin` (temporary file, then rename); a new file gets
// `permissionsNouveau` when given. Returns an empty text on success, else the reason.
QString ecrireEnEntier(const QString &chemin, const QByteArray &octets,
                       QFileDevice::Permissions permissionsNouveau = {});
