#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Halvenor.ini: windows-1252 text, "[Section]" lines and "Key=Value" lines.
// Section and key names match without regard to letter case; values come back as stored.
// Nothing is cached: every operation reads the file again, every write reaches the disk
// at once through a whole-file rewrite (temporary file, then rename), keeping every other
// line of the file (other sections, comments, unknown keys) as it was.
// A missing file reads as defaults; writes create it (mode 0600: it holds passwords).
// Write failures throw HalvenorError.
class IniFile
{
public:
    explicit IniFile(QString chemin);
    // The same reader and writer over bytes in memory (fuzzing): writes replace octets().
    static IniFile enMemoire(QByteArray octets);
    QByteArray octets() const;

    const QString &chemin() const { return m_chemin; }
    bool existe() const;

    QString readString(const QString &section, const QString &cle, const QString &defaut) const;
    int readInteger(const QString &section, const QString &cle, int defaut) const;
    bool readBool(const QString &section, const QString &cle, bool defaut) const;

    void writeString(const QString &section, const QString &cle, const QString &valeur);
    void writeInteger(const QString &section, const QString &cle, int valeur);
    void writeBool(const QString &section, const QString &cle, bool valeur);

    // True when the section exists and holds at least one key.
    bool sectionExists(const QString &section) const;
    void eraseSection(const QString &section);
    // "key=value" for every entry of the section, in file order.
    QStringList readSectionValues(const QString &section) const;

private:
    QString m_chemin;
    std::shared_ptr<QByteArray> m_memoire; // set: no file is read or written
};

// The same file read once, changed in memory and written back by save() in one whole-file
// rewrite: several changes reach the disk together or not at all. The operations behave
// as IniFile's do one after the other, so the bytes written are the same.
class IniDocument
{
public:
    // Reads the file now; a missing file is an empty document.
    // With `memoire`, the bytes there are the file, and save() replaces them.
    explicit IniDocument(QString chemin, QByteArray *memoire = nullptr);

    const QString &chemin() const { return m_chemin; }
    // The file was there when read (or has been saved since).
    bool existe() const { return m_existe; }

    QString readString(const QString &section, const QString &cle, const QString &defaut) const;
    int readInteger(const QString &section, const QString &cle, int defaut) const;
    bool readBool(const QString &section, const QString &cle, bool defaut) const;
    bool sectionExists(const QString &section) const;
    QStringList readSectionValues(const QString &section) const;

    // A refused name or value throws HalvenorError and changes nothing.
    void writeString(const QString &section, const QString &cle, const QString &valeur);
    void writeInteger(const QString &section, const QString &cle, int valeur);
    void writeBool(const QString &section, const QString &cle, bool valeur);
    void eraseSection(const QString &section);

    // Writes the file when something changed (a missing file is then created);
    // failures throw HalvenorError and leave the file as it was.
    void save();

private:
    QString m_chemin;
    QByteArray *m_memoire = nullptr;
    std::vector<QString> m_lignes;
    QString m_finDeLigne;
    bool m_existe = false;
    bool m_modifie = false;
};
