#include "core/reports/RapportMajAuto.h"

#include "core/base/EcritureSure.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "core/base/PageCode.h"

bool estFichierRapport(const QString &nomFichier)
{
    const qsizetype point = nomFichier.lastIndexOf(u'.');
    return point >= 0 && QStringView(nomFichier).mid(point) == u".xml";
}

QString identifiantRapport(const QString &nomFichier)
{
    const qsizetype pos = nomFichier.indexOf(u".xml");
    return pos < 0 ? nomFichier : nomFichier.left(pos);
}

bool nomLocalSur(const QString &nomFichier)
{
    return !nomFichier.isEmpty() && nomFichier != u"." && nomFichier != u".."
        && !nomFichier.contains(u'/') && !nomFichier.contains(u'\\') && !nomFichier.contains(QChar(0));
}

std::array<bool, 3> EtatsSections(const TNativeXMLNode &entree)
{
    std::array<bool, 3> etats{};
    for (size_t i = 0; i < NomsSections.size(); ++i)
        etats[i] = entree.FindChild(NomsSections[i]).FindChild(QStringLiteral("Etat"))
                       .GetAttributeInt(QStringLiteral("Etat"), 1) != 0;
    return etats;
}

QString MessagesSection(int section, const TNativeXMLNode &entree)
{
    const QString &nom = NomsSections.at(static_cast<size_t>(section));
    TNativeXMLNodeList liste;
    entree.FindChild(nom).FindChild(QStringLiteral("Messages")).ChildrenByName(QStringLiteral("Message"), liste);
    QString texte;
    for (int i = 0; i < liste.Count(); ++i)
        texte += u'[' + nom + QStringLiteral("] ") + liste.Get(i).GetValue() + u'\n';
    return texte;
}

QString TexteEntree(const std::array<bool, 3> &etats, const TNativeXMLNode &entree)
{
    if (!enErreur(etats))
        return TexteMajInstallee;
    QString texte;
    for (int i = 0; i < 3; ++i)
        if (etats[static_cast<size_t>(i)])
            texte += MessagesSection(i, entree);
    return texte;
}

QDateTime dateEntree(const TNativeXMLNode &entree, const QDate &aujourdhui)
{
    return formats::lireDateHeure(entree.GetAttribute(QStringLiteral("Date"), QString()), aujourdhui);
}

namespace {

LectureRapport texteRapport(const TNativeXMLDocument &document, const QString &chemin, const QDate &aujourdhui)
{
    LectureRapport r;
    const TNativeXMLNode racine = document.Root();
    // Well-formed but another kind of file: as unreadable as a broken one.
    if (racine.name() != RacineMajAuto) {
        r.sectionsEnErreur = true;
        r.texte = DebutXmlIllisible + chemin;
        r.motif = r.texte;
        return r;
    }
    try {
        r.date = dateEntree(racine, aujourdhui);
    } catch (const HalvenorError &) {
        r.sectionsEnErreur = true;
        r.texte = DebutDateIllisible + chemin;
        r.motif = r.texte;
        return r;
    }
    r.lu = true;
    const auto etats = EtatsSections(racine);
    r.sectionsEnErreur = enErreur(etats);
    r.texte = DebutDerniereMaj + formats::dateHeure(r.date) + u'\n' + TexteEntree(etats, racine);
    // The first message that says something; a blank one is no reason.
    for (int i = 0; i < 3 && r.motif.isEmpty(); ++i) {
        if (!etats[static_cast<size_t>(i)])
            continue;
        if (r.sectionEnErreur < 0)
            r.sectionEnErreur = i;
        const QString debut = u'[' + NomsSections[static_cast<size_t>(i)] + QStringLiteral("] ");
        for (const QString &ligne : MessagesSection(i, racine).split(u'\n', Qt::SkipEmptyParts))
            if (ligne.startsWith(debut) && !QStringView(ligne).mid(debut.size()).trimmed().isEmpty()) {
                r.motif = ligne;
                break;
            }
    }
    return r;
}

LectureRapport illisible(const QString &chemin)
{
    LectureRapport r;
    r.sectionsEnErreur = true;
    r.texte = DebutXmlIllisible + chemin;
    r.motif = r.texte;
    return r;
}

} // namespace

QString motifRapport(const LectureRapport &lecture, bool recent)
{
    if (!lecture.motif.isEmpty())
        return lecture.motif;
    if (!recent)
        return TexteRapportTropAncien;
    if (lecture.sectionEnErreur >= 0)
        return u'[' + NomsSections[static_cast<size_t>(lecture.sectionEnErreur)] + QStringLiteral("] ")
            + TexteSectionSansMessage;
    return {};
}

LectureRapport LireRapportCourant(TNativeXMLDocument &document, const QString &chemin, const QDate &aujourdhui)
{
    try {
        document.LoadFromFile(chemin);
    } catch (const std::exception &) {
        return illisible(chemin);
    }
    return texteRapport(document, chemin, aujourdhui);
}

LectureRapport LireRapportOctets(TNativeXMLDocument &document, const QByteArray &octets, const QString &chemin,
                                 const QDate &aujourdhui)
{
    try {
        document.LoadFromMemory(octets, chemin);
    } catch (const std::exception &) {
        return illisible(chemin);
    }
    return texteRapport(document, chemin, aujourdhui);
}

void ParcourirHistorique(const TNativeXMLDocument &document, const QDate &aujourdhui,
                         const std::function<void(const EntreeHistorique &)> &ajouter)
{
    TNativeXMLNodeList items;
    document.Root().ChildrenByName(QStringLiteral("Item"), items);
    for (int i = 0; i < items.Count(); ++i) {
        const TNativeXMLNode item = items.Get(i);
        EntreeHistorique e;
        e.date = dateEntree(item, aujourdhui);
        const auto etats = EtatsSections(item);
        e.texte = TexteEntree(etats, item);
        e.enErreur = enErreur(etats);
        ajouter(e);
    }
}

bool RapportRecent(const QDateTime &dateRapport, const QDateTime &dateServeur, int jours, const QDate &aujourdhui)
{
    if (!dateRapport.isValid() || !dateServeur.isValid())
        return false;
    const QDate limite = aujourdhui.addDays(-jours);
    return dateRapport.date() >= limite && dateServeur.date() >= limite;
}

QByteArray CsvEntreesHistorique(const QList<EntreeHistorique> &entrees)
{
    QList<LigneCsv> lignes;
    lignes.reserve(entrees.size());
    for (const EntreeHistorique &e : entrees)
        lignes << LigneCsv{formats::date(e.date.date()), e.texte};
    return CsvHistorique(lignes);
}

QByteArray CsvHistorique(const QList<LigneCsv> &lignes)
{
    QString texte;
    for (const LigneCsv &l : lignes)
        texte += l.date + u';' + l.texte + QStringLiteral(";\r\n");
    // A character outside the code page becomes "?", not the SUB byte Qt's encoder puts there.
    return paradox::PageCode::windows1252().encoder(texte);
}

void EcrireFichier(const QString &chemin, const QByteArray &contenu)
{
    if (const ResultatEcriture r = ecrireEnEntier(chemin, contenu); !r)
        throw HalvenorError(QStringLiteral("Impossible d'écrire le fichier ") + chemin + QStringLiteral(" : ")
                            + r.raison());
}
