#pragma once

#include <QString>
#include <QStringList>

#include <memory>

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
    // The same reader and writer over bytes held in memory instead of a file (no disk, no
    // sync): the fuzz target's way in. Writes replace the bytes.
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
    std::shared_ptr<QByteArray> m_memoire;
};
