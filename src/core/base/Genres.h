#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The four kinds of head-office data, in the order of the main window's rows.
enum class Genre { Remise, Personnalisation, Messages, Documents };

inline constexpr std::array<Genre, 4> tousLesGenres{Genre::Remise, Genre::Personnalisation,
                                                    Genre::Messages, Genre::Documents};

// Key of section [Halvenor] that enables the kind.
inline QString cleGenre(Genre g)
{
    switch (g) {
    case Genre::Remise: return QStringLiteral("Remise_Achat");
    case Genre::Personnalisation: return QStringLiteral("Personnalisation");
    case Genre::Messages: return QStringLiteral("Message");
    case Genre::Documents: return QStringLiteral("Document");
    }
    return {};
}

// Name on the command line: remise, personnalisation, messages, documents.
inline QString nomGenre(Genre g)
{
    switch (g) {
    case Genre::Remise: return QStringLiteral("remise");
    case Genre::Personnalisation: return QStringLiteral("personnalisation");
    case Genre::Messages: return QStringLiteral("messages");
    case Genre::Documents: return QStringLiteral("documents");
    }
    return {};
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
    switch (g) {
    case Genre::Remise: return {QStringLiteral("remise_achat.xml")};
    case Genre::Personnalisation: return {QStringLiteral("personnalisation.xml")};
    case Genre::Messages: return {QStringLiteral("message_type.xml"), QStringLiteral("message.xml")};
    case Genre::Documents: return {QStringLiteral("mes_docs_type.xml"), QStringLiteral("mes_docs.xml")};
    }
    return {};
}

// Files a kind sends, in the order they are sent (the main file first).
inline QStringList fichiersEnvoyes(Genre g)
{
    switch (g) {
    case Genre::Remise: return {QStringLiteral("remise_achat.xml")};
    case Genre::Personnalisation: return {QStringLiteral("personnalisation.xml")};
    case Genre::Messages: return {QStringLiteral("message.xml"), QStringLiteral("message_type.xml")};
    case Genre::Documents: return {QStringLiteral("mes_docs.xml"), QStringLiteral("mes_docs_type.xml")};
    }
    return {};
}
