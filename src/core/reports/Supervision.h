#pragma once

#include <QString>
#include <QStringList>

// How many franchisees one refresh listed and which of them are red, in listing order.
struct ResumeRapports
{
    int franchises = 0;
    QStringList rouges;

    void ajouter(const QString &identifiant, bool enErreur);
    int aJour() const { return franchises - static_cast<int>(rouges.size()); }
};

// "N franchisés : V à jour, R en erreur"; empty when nothing was listed.
QString texteResume(const ResumeRapports &r);

// The check of a monitoring system (Nagios plugin guidelines): its exit code and one line.
enum class EtatSupervision { OK = 0, WARNING = 1, CRITICAL = 2, UNKNOWN = 3 };

struct SeuilsSupervision
{
    int avertissement = 1; // red franchisees from which the state is WARNING
    int critique = 1;      // ... and CRITICAL
};

EtatSupervision etatSupervision(const ResumeRapports &r, const SeuilsSupervision &seuils);

// "MAJAUTO CRITICAL - 3 franchisés en erreur sur 30 : 0411, 0425, 0430 | franchises=30;;;0 rouges=3;1;1;0;30"
QString ligneSupervision(const ResumeRapports &r, const SeuilsSupervision &seuils);
// "MAJAUTO UNKNOWN - " and the reason, on one line, without performance data.
QString ligneSupervisionInconnue(const QString &raison);
