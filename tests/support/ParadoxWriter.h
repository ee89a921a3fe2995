#pragma once

// Writer of Paradox 7 tables for tests and the demo (never part of the programs).
// Its output is read back by the reader, but the tables written by Paradox itself in
// the test data remain the reference for the format.

#include "core/paradox/Table.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

namespace paradox::test {

struct Colonne
{
    QString nom;
    paradox::TypeChamp type;
    // alpha: length; memo and the other blob kinds: bytes held in the record, pointer
    // included (10..240, 11 when 0); bcd: digits after the decimal point; bytes: length.
    // Ignored for the fixed-size types.
    int taille = 0;
};

// Writes a Paradox 7 table (code page 1252) and its .MB when it has memos, replacing any
// previous one. Each row holds one QVariant per column: a null QVariant is a null value;
// alpha, memo, fmtmemo QString; short, long, autoinc int; number, currency double;
// logical bool; date QDate; time QTime; timestamp QDateTime; bcd QString ("-12.50");
// blob, ole, graphic, bytes QByteArray.
// Short memos are sub-allocated in the .MB, long ones get blocks of their own.
void ecrireTable(const QString &cheminDb, const QList<Colonne> &colonnes, const QList<QList<QVariant>> &lignes);

// For the reader's own tests: older file versions (3..12; before 5, no code page in the
// header), indexed or not, another code page (texts are encoded with it), a password key.
struct OptionsTable
{
    int version = 12;
    int typeFichier = 2;
    int codePage = 1252;
    quint32 cleChiffrement = 0;
};
void ecrireTable(const QString &cheminDb, const QList<Colonne> &colonnes, const QList<QList<QVariant>> &lignes,
                 const OptionsTable &options);
// The same with the rows made one at a time (large benchmark tables): `ligne` fills row i.
void ecrireTable(const QString &cheminDb, const QList<Colonne> &colonnes, qint64 nombre,
                 const std::function<void(qint64 i, QList<QVariant> &ligne)> &ligne, const OptionsTable &options = {});

} // namespace paradox::test
