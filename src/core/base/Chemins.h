#pragma once

#include <QString>

// Shared paths, computed once at start from the program's own directory.
// Every directory ends with "/".
struct Chemins
{
    QString RepertoireProgramme;
    QString RepertoirePreparer;
    QString FichierIni;
    QString RepertoireRapport;
    QString RepertoireHistorique;

    static Chemins depuisRepertoire(const QString &repertoireProgramme);
};

// The paths of this run. Set once by start-up (or by a test) before any window exists.
const Chemins &chemins();
void definirChemins(const Chemins &c);

// A path given in a settings file: a relative one is taken from the program directory.
// An empty path stays empty.
QString cheminDuProgramme(const QString &chemin);
// The same from `repertoire`: trimmed, a backslash taken as '/', a relative path joined to it.
QString cheminDepuis(const QString &repertoire, const QString &chemin);

// Export format number written by every generator.
inline const QString NumeroVersion = QStringLiteral("1.0");
