#pragma once

#include "core/base/Annulation.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <future>
#include <memory>
#include <vector>

class QSaveFile;

// An XML file written as it is made, one element at a time, in windows-1252: the bytes
// that TNativeXMLDocument::SaveToFile gives for the same tree (declaration, no
// indentation, "<X/>" for an element without children, the same escapes, "?" for a
// character that windows-1252 or XML cannot hold, the same names refused), without
// holding the tree in memory. The file is written to a temporary file and renamed over
// `chemin` only by terminer(): a failure or a destruction before leaves the previous file.
// Failures throw HalvenorError.
class EcritureXml
{
public:
    EcritureXml(const QString &chemin, const QString &racine);
    ~EcritureXml();
    EcritureXml(const EcritureXml &) = delete;
    EcritureXml &operator=(const EcritureXml &) = delete;

    // An element or attribute name checked and in windows-1252, to be given to the
    // calls below; refused as the tree refuses it.
    static QByteArray nomElement(const QString &nom);
    static QByteArray nomAttribut(const QString &nom);

    void ouvrir(const QByteArray &nom); // a child of the current element
    void fermer();                      // the current element

    void attribut(const QByteArray &nom, const QString &valeur);
    // A value given as bytes, each written as `traduction` says (a windows-1252 byte that
    // XML accepts, or '?'), then escaped as XML needs.
    void attribut(const QByteArray &nom, const char *octets, qsizetype taille,
                  const std::array<char, 256> &traduction);
    // ASCII that needs no escaping (numbers, dates).
    void attributAscii(const QByteArray &nom, const char *texte, qsizetype taille);

    // Once `annulation` asks to stop, nothing more reaches the disk and terminer() keeps the
    // previous file: checked at each buffer (about every megabyte).
    void definirAnnulation(const Annulation *annulation) { m_annulation = annulation; }

    // Closes what is open, then makes the file whole: written, synced, renamed over the
    // previous one. False when the write was cancelled: the previous file stays, the
    // temporary file is removed.
    bool terminer();

    const QString &chemin() const { return m_chemin; }
    // Bytes written so far (the file's size once terminer() has run).
    qint64 taille() const { return m_ecrits + m_utilise; }

private:
    char *reserver(qsizetype n);
    void fermerBalise();
    void debutAttribut(const QByteArray &nom);
    void vider();
    void attendreEcriture();
    [[noreturn]] void echec(const QString &raison) const;

    QString m_chemin;
    std::unique_ptr<QSaveFile> m_fichier;
    QByteArray m_tampon;
    QByteArray m_enVol; // being written aside
    std::future<QString> m_ecriture;
    const Annulation *m_annulation = nullptr;
    bool m_annulee = false;
    qsizetype m_utilise = 0;
    qint64 m_ecrits = 0;
    std::vector<QByteArray> m_ouverts;
    bool m_baliseOuverte = false; // "<X ..." written, not yet ">" nor "/>"
};

// The windows-1252 form of a text of the tables (the same "?" as the tree), no escaping.
QByteArray versWindows1252(const QString &texte);
