#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>

// The four kinds of head-office data, in the order of the main window's rows.
enum class Genre { Remise, Personnalisation, Messages, Documents };

inline constexpr std::array<Genre, 4> tousLesGenres{Genre::Remise, Genre::Personnalisation,
                                                    Genre::Messages, Genre::Documents};

// One export file of a kind: the table it reads (its export name) and the file it writes.
struct PasseGenre
{
    const char *table;
    const char *fichier;
};

// What a kind of data is, in one place: every switch on Genre reads this table.
struct DescriptionGenre
{
    Genre genre;
    const char *nom;       // on the command line
    const char *cle;       // key of section [Halvenor] that enables it
    const char *libelle;   // in the user's words (UTF-8)
    const char *racine;    // root element of its files
    std::array<PasseGenre, 2> passes; // in the order they are written; a second table may be absent
    int nombrePasses;
    bool envoiInverse;     // sent main file first: the reverse of the writing order
    const char *controles; // the main window's row: btnGenerer<X>, btnEnvoi<X>, pgbGenerer<X>...
};

inline constexpr std::array<DescriptionGenre, 4> descriptionsGenres{{
    {Genre::Remise, "remise", "Remise_Achat", "Conditions d'achat", "RemisesAchat",
     {{{"remise", "remise_achat.xml"}, {nullptr, nullptr}}}, 1, false, "RA"},
    {Genre::Personnalisation, "personnalisation", "Personnalisation", "Personnalisation des modèles",
     "Personnalisations", {{{"Personnalisation", "personnalisation.xml"}, {nullptr, nullptr}}}, 1, false, "Perso"},
    {Genre::Messages, "messages", "Message", "Messages", "Messages",
     {{{"message_type", "message_type.xml"}, {"message", "message.xml"}}}, 2, true, "Message"},
    {Genre::Documents, "documents", "Document", "Documents", "Documents",
     {{{"mes_docs_type", "mes_docs_type.xml"}, {"mes_docs", "mes_docs.xml"}}}, 2, true, "Document"},
}};

inline const DescriptionGenre &description(Genre g)
{
    return descriptionsGenres[static_cast<size_t>(g)];
}

// Key of section [Halvenor] that enables the kind.
inline QString cleGenre(Genre g)
{
    return QString::fromLatin1(description(g).cle);
}

// Name on the command line: remise, personnalisation, messages, documents.
inline QString nomGenre(Genre g)
{
    return QString::fromLatin1(description(g).nom);
}

// "Conditions d'achat", "Personnalisation des modèles", "Messages", "Documents".
inline QString libelleGenre(Genre g)
{
    return QString::fromUtf8(description(g).libelle);
}

inline std::optional<Genre> genreDepuisNom(const QString &nom)
{
    for (Genre g : tousLesGenres)
        if (nomGenre(g) == nom)
            return g;
    return std::nullopt;
}

// Files a kind writes, in the order the generator writes them.
inline QStringList fichiersGeneres(Genre g)
{
    QStringList f;
    const DescriptionGenre &d = description(g);
    for (int i = 0; i < d.nombrePasses; ++i)
        f << QString::fromLatin1(d.passes[size_t(i)].fichier);
    return f;
}

// Files a kind sends, in the order they are sent (the main file first).
inline QStringList fichiersEnvoyes(Genre g)
{
    QStringList f = fichiersGeneres(g);
    if (description(g).envoiInverse)
        std::reverse(f.begin(), f.end());
    return f;
}
