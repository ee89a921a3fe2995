#include "Cibles.h"

#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "core/base/PageCode.h"
#include "core/config/IniFile.h"
#include "core/paradox/FichierParadox.h"
#include "core/publish/FtpClient.h"
#include "core/reports/RapportMajAuto.h"
#include "core/xml/NativeXml.h"

#include <QByteArrayList>

#include <libxml/tree.h>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray octetsDe(const uint8_t *octets, size_t taille)
{
    return QByteArray(reinterpret_cast<const char *>(octets), static_cast<qsizetype>(taille));
}

// Two inputs from one: a 4-byte little-endian length, the first part, the rest.
std::pair<QByteArray, QByteArray> couper(const QByteArray &tout)
{
    if (tout.size() < 4)
        return {tout, {}};
    const auto u = [&](int i) { return quint32(static_cast<unsigned char>(tout[i])); };
    const qsizetype n = qsizetype((u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24) % quint32(tout.size() - 3));
    return {tout.mid(4, n), tout.mid(4 + n)};
}

void verifierLigne(bool condition, int ligne)
{
    if (!condition) {
        std::fprintf(stderr, "Cibles.cpp:%d: invariant broken\n", ligne);
        std::abort();
    }
}
#define verifier(condition) verifierLigne((condition), __LINE__)

const QDate Aujourdhui(2013, 3, 25);

// Every element below `n`, depth first, through the wrapper's own lookups.
void parcourir(const TNativeXMLNode &n, int profondeur)
{
    if (profondeur > 64)
        return;
    for (_xmlNode *c = n.node()->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE)
            continue;
        const TNativeXMLNode enfant(n.document(), c);
        const QString nom = enfant.name();
        // Names cross the wrapper in windows-1252: only those can be looked up.
        const paradox::PageCode &cp1252 = paradox::PageCode::windows1252();
        if (cp1252.decoder(cp1252.encoder(nom)) == nom) {
            verifier(!n.FindChild(nom).isNull());
            TNativeXMLNodeList memes;
            n.ChildrenByName(nom, memes);
            verifier(memes.Count() > 0 && memes.Get(memes.Count()).isNull());
        }
        for (_xmlAttr *a = c->properties; a; a = a->next) {
            const QString attribut = QString::fromUtf8(reinterpret_cast<const char *>(a->name));
            enfant.GetAttribute(attribut, QString());
            enfant.GetAttributeInt(attribut, -1);
        }
        enfant.GetValue();
        parcourir(enfant, profondeur + 1);
    }
}

} // namespace

int fuzzIni(const uint8_t *octets, size_t taille)
{
    const QByteArray lu = octetsDe(octets, taille);
    IniFile ini = IniFile::enMemoire(lu);
    QByteArray memoire = lu;
    try {
        // Reads go through one document: every IniFile operation decodes the whole text again,
        // and the fuzzer's speed went with their number. Writes go through both.
        IniDocument doc(ini.chemin(), &memoire);
        QStringList sections{QStringLiteral("Halvenor"), QStringLiteral("Halvenor_FNS_Exclu")};
        for (const QByteArray &ligne : lu.split('\n')) {
            const QByteArray t = ligne.trimmed();
            if (t.startsWith('[') && t.indexOf(']') > 1 && sections.size() < 4)
                sections << paradox::PageCode::windows1252().decoder(t.mid(1, t.indexOf(']') - 1)).trimmed();
        }
        for (const QString &section : sections) {
            const QStringList entrees = doc.readSectionValues(section);
            if (entrees.isEmpty())
                continue;
            const QString cle = entrees.front().left(entrees.front().indexOf(u'='));
            doc.readString(section, cle, QString());
            doc.readInteger(section, cle, 21);
            doc.readBool(section, cle, false);
        }
        // The file reads its own windows-1252 output again after each write, the document
        // keeps its text: the same bytes show that a rewrite loses nothing of the file.
        const QString section = sections.last();
        const QString cle = QStringLiteral("CleFuzz");
        const QStringList autres = doc.readSectionValues(sections.first());
        const QString valeur = QString::fromLatin1(lu.left(12).toHex());
        ini.writeString(section, cle, valeur);
        doc.writeString(section, cle, valeur);
        verifier(doc.readString(section, cle, QString()) == valeur);
        if (section.compare(sections.first(), Qt::CaseInsensitive) != 0)
            verifier(doc.readSectionValues(sections.first()) == autres);
        const auto memes = [&] {
            doc.save();
            if (memoire != ini.octets()) {
                std::fprintf(stderr, "document:\n%s\nfile:\n%s\n", memoire.toHex(' ').constData(),
                             ini.octets().toHex(' ').constData());
                std::abort();
            }
        };
        memes();
        // The file writes once more only: each of its writes decodes and encodes the whole text.
        doc.writeBool(section, QStringLiteral("Remise_Achat"), true);
        verifier(doc.readBool(section, QStringLiteral("Remise_Achat"), false));
        ini.eraseSection(section);
        doc.eraseSection(section);
        verifier(!doc.sectionExists(section));
        memes();
    } catch (const HalvenorError &) {
        // A name the file cannot hold is refused: a section name with "]" or a line break.
    }
    return 0;
}

int fuzzRapport(const uint8_t *octets, size_t taille)
{
    const auto [courant, historique] = couper(octetsDe(octets, taille));
    TNativeXMLDocument document(RacineMajAuto);
    try {
        const LectureRapport r = LireRapportOctets(document, courant, QStringLiteral("0421.xml"), Aujourdhui);
        verifier(r.lu || r.texte == DebutXmlIllisible + QStringLiteral("0421.xml")
                 || r.texte == DebutDateIllisible + QStringLiteral("0421.xml"));
        if (r.lu)
            RapportRecent(r.date, r.date, 7, Aujourdhui);
    } catch (const HalvenorError &) {
        // What may still throw reaches the standard error dialog.
    }
    try {
        document.LoadFromMemory(historique, QStringLiteral("Historique/0421.xml"));
        QList<LigneCsv> lignes;
        try {
            ParcourirHistorique(document, Aujourdhui, [&](const EntreeHistorique &e) {
                lignes << LigneCsv{formats::date(e.date.date()), e.texte};
            });
        } catch (const HalvenorError &) {
        }
        const QByteArray csv = CsvHistorique(lignes);
        verifier(csv.count("\r\n") >= lignes.size());
    } catch (const HalvenorError &) {
    }
    return 0;
}

int fuzzListeFtp(const uint8_t *octets, size_t taille)
{
    const QByteArray texte = octetsDe(octets, taille);
    const QDateTime maintenant(QDate(2013, 3, 25), QTime(6, 30));
    for (const QList<FtpEntree> &liste : {analyserMlsd(texte), analyserList(texte, maintenant)})
        for (const FtpEntree &e : liste) {
            verifier(!e.nom.isEmpty() && e.nom != u"." && e.nom != u"..");
            if (nomLocalSur(e.nom) && estFichierRapport(e.nom))
                identifiantRapport(e.nom);
        }
    return 0;
}

int fuzzXml(const uint8_t *octets, size_t taille)
{
    TNativeXMLDocument document(QStringLiteral("R"));
    try {
        document.LoadFromMemory(octetsDe(octets, taille), QStringLiteral("f.xml"));
    } catch (const HalvenorError &) {
        return 0;
    }
    parcourir(document.DocumentNode(), 0);
    QByteArray enregistre;
    try {
        enregistre = document.toBytes();
    } catch (const HalvenorError &) {
        return 0; // a name windows-1252 cannot hold
    }
    // What we saved, we can read again.
    TNativeXMLDocument relu(QStringLiteral("R"));
    try {
        relu.LoadFromMemory(enregistre, QStringLiteral("relu.xml"));
    } catch (const HalvenorError &e) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(e.message()), enregistre.left(400).constData());
        std::abort();
    }
    return 0;
}

int fuzzParadox(const uint8_t *octets, size_t taille)
{
    auto [db, mb] = couper(octetsDe(octets, taille));
    try {
        // A protected table opens with this password (the encrypted seeds use it).
        const auto table = paradox::FichierParadox::depuisMemoire(QStringLiteral("FUZZ.DB"), db, mb,
                                                                  {{QStringLiteral("Fuzz1")}, 0, {}, {}});
        const int champs = int(table->champs().size());
        table->indexChamp(QStringLiteral("Code"));
        // The first records show every path; decoding them all would only slow the fuzzer.
        int lus = 0;
        for (bool bloc = table->premierBloc(); bloc && lus < 64; bloc = table->blocSuivant()) {
            for (int r = 0; r < table->enregistrementsDansBloc() && lus < 64; ++r, ++lus) {
                const uchar *enr = table->enregistrement(r);
                for (int c = 0; c < champs; ++c) {
                    table->estNul(enr, c);
                    table->valeur(enr, c);
                    table->texte(enr, c);
                    table->entier(enr, c);
                    table->octetsBlob(enr, c);
                    char sortie[64];
                    std::pair<const char *, qsizetype> brut;
                    const paradox::PageCode *page = nullptr;
                    table->texteSansConversion(enr, c, sortie, brut, page);
                }
            }
        }
        verifier(lus <= table->nombreEnregistrements() || lus == 64);
    } catch (const HalvenorError &) {
        // A damaged table is refused, naming it: the expected way out.
    }
    return 0;
}
