#pragma once

#include "core/base/Genres.h"

#include <QFlags>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// What Halvenor.ini holds, section by section, with the defaults of a missing key or file.
// This is the only code that knows the file's section and key names.

enum class ModeEnvoi { FTP, URI };

// [Halvenor]
struct ParametresHalvenor
{
    std::array<bool, 4> actifs{}; // by Genre, in row order (keys given by cleGenre)
    // TypeEnvoi: nothing when the file holds another word than exactly "FTP" or "URI".
    std::optional<ModeEnvoi> typeEnvoi = ModeEnvoi::FTP;

    bool actif(Genre g) const { return actifs[static_cast<size_t>(g)]; }
    void activer(Genre g, bool oui) { actifs[static_cast<size_t>(g)] = oui; }
};

// An FTP account: [Halvenor_FTP] for publishing, [Halvenor_Rapport] for the reports.
struct CompteFtp
{
    static constexpr int PortParDefaut = 21;

    QString Host;
    QString Login;
    QString Mdp;
    int Port = PortParDefaut;
    bool tls = false;     // "TLS": explicit FTPS; written after the four keys above
    QString certificatCA; // "CertificatCA": as stored (relative to the program directory); never written
    // "Connexions": the most sessions a refresh opens at once; edited in the file only.
    static constexpr int ConnexionsParDefaut = 4;
    static constexpr int ConnexionsMax = 16;
    int connexions = ConnexionsParDefaut;

    // "Protocole": FTP (with or without TLS) or SFTP, where the port defaults to 22 and TLS plays no part.
    enum class Protocole { FTP, SFTP };
    static constexpr int PortSftpParDefaut = 22;
    Protocole protocole = Protocole::FTP;
    QString empreinteSsh; // "EmpreinteSSH": "SHA256:..." as ssh-keygen -lf prints it; empty: known_hosts decides
    QString cleSsh;       // "CleSSH": a private key, as stored (relative to the program directory); never written
    bool sftp() const { return protocole == Protocole::SFTP; }
};

// [Halvenor_Affichage]: the report window's display choices.
struct ParametresAffichage
{
    enum class Tri { Serveur, Franchise, Etat, Date };
    Tri tri = Tri::Serveur;        // "Tri"
    bool details = false;          // "Vue": Icones or Details
    bool erreursSeulement = false; // "ErreursSeulement"
};

enum class QuelCompte { Publication, Rapport };

struct Parametres
{
    // The parts of the file one save rewrites; each window saves its own.
    enum Partie {
        Halvenor = 0x01,    // the four kinds and TypeEnvoi
        Uri = 0x02,         // [Halvenor_URI]
        Publication = 0x04, // [Halvenor_FTP]
        Rapport = 0x08,     // [Halvenor_Rapport]
        Exclus = 0x10,      // [Halvenor_FNS_Exclu], rewritten whole
        Affichage = 0x20,   // [Halvenor_Affichage]
    };
    Q_DECLARE_FLAGS(Parties, Partie)

    bool existe = false; // false: there was no file, everything below is a default
    ParametresHalvenor halvenor;
    QString uri; // the publishing directory of URI mode
    CompteFtp publication;
    CompteFtp rapport;
    QStringList fournisseursExclus; // supplier codes, in file order
    ParametresAffichage affichage;

    CompteFtp &compte(QuelCompte c) { return c == QuelCompte::Publication ? publication : rapport; }
    const CompteFtp &compte(QuelCompte c) const { return c == QuelCompte::Publication ? publication : rapport; }

    // The section's name in the file, for texts that tell the user where to look.
    static QString nomSection(Partie partie);

    // The whole file in one read. A missing file gives the defaults; a file that exists but
    // cannot be read throws HalvenorError.
    static Parametres lire(const QString &fichier);
    // The same, but a file that cannot be read gives the defaults of a missing file: for the
    // settings windows, which open all the same and report the failure when they save.
    static Parametres lireSiPossible(const QString &fichier);

    // Writes `parties` into the file in one whole-file rewrite (the file is created when
    // missing), keeping comments, unknown keys and other sections. A failure throws
    // HalvenorError and leaves the file as it was. A TypeEnvoi of nothing is left as stored.
    void enregistrer(const QString &fichier, Parties parties) const;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Parametres::Parties)
