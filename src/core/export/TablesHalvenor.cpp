#include "core/export/TablesHalvenor.h"

QStringList champsFournis()
{
    return {QStringLiteral("Code"), QStringLiteral("Nom"), QStringLiteral("Reglement"),
            QStringLiteral("Observation"), QStringLiteral("Qualite"), QStringLiteral("Lieu"),
            QStringLiteral("Ville"), QStringLiteral("CP"), QStringLiteral("Rue1"), QStringLiteral("Rue2"),
            QStringLiteral("Tel"), QStringLiteral("Fax"), QStringLiteral("Portable"), QStringLiteral("Mail"),
            QStringLiteral("Contact"), QStringLiteral("Siren"), QStringLiteral("TVAIntracom"),
            QStringLiteral("APE"), QStringLiteral("Status"), QStringLiteral("Capital"),
            QStringLiteral("Banque"), QStringLiteral("Guichet"), QStringLiteral("Compte"),
            QStringLiteral("Cle"), QStringLiteral("Domiciliation"), QStringLiteral("LivraisonLieu"),
            QStringLiteral("LivraisonVille"), QStringLiteral("LivraisonCP"), QStringLiteral("LivraisonRue1"),
            QStringLiteral("LivraisonRue2"), QStringLiteral("LivraisonTel"), QStringLiteral("LivraisonFax"),
            QStringLiteral("LivraisonPortable"), QStringLiteral("LivraisonMail"),
            QStringLiteral("LivraisonContact"), QStringLiteral("LivraisonType"),
            QStringLiteral("LivraisonCode"), QStringLiteral("FermetureJour"),
            QStringLiteral("FermetureHeure"), QStringLiteral("Ferme"), QStringLiteral("ReglementA"),
            QStringLiteral("ReglementLe"), QStringLiteral("TVA"), QStringLiteral("CommCA"),
            QStringLiteral("CommMB"), QStringLiteral("Message"), QStringLiteral("Franco"),
            QStringLiteral("ForfaitPort"), QStringLiteral("MargeAveugle"), QStringLiteral("CoefTarif"),
            QStringLiteral("Remises")};
}

QStringList champsPerso()
{
    return {QStringLiteral("Groupe"), QStringLiteral("Famille"), QStringLiteral("Modele"),
            QStringLiteral("Fournisseur"), QStringLiteral("Produit"), QStringLiteral("Libelle"),
            QStringLiteral("Photo"), QStringLiteral("Detail"), QStringLiteral("Xml"),
            QStringLiteral("DetailCache"), QStringLiteral("Flag")};
}

TablesHalvenor::TablesHalvenor(const QString &rep)
    : tblFns(rep, QStringLiteral("FOURNIS.DB"), champsFournis()),
      tblPerso(rep, QStringLiteral("Perso.DB"), champsPerso()),
      tblMessage(rep, QStringLiteral("Message.DB")),
      tblMessageType(rep, QStringLiteral("MessageType.DB")),
      tblRemise(rep, QStringLiteral("REMISES.DB")),
      tblMesDocs(rep, QStringLiteral("MesDocs.DB")),
      tblMesDocsType(rep, QStringLiteral("MesDocsType.DB"))
{
}

void TablesHalvenor::definirDemandeMotDePasse(const paradox::DemandeMotDePasse &demande, const QStringList &connus)
{
    for (paradox::Table *t : {&tblFns, &tblPerso, &tblMessage, &tblMessageType, &tblRemise, &tblMesDocs, &tblMesDocsType})
        t->definirMotsDePasse(connus, demande);
}

paradox::Table *TablesHalvenor::TablePourExport(const QString &nom)
{
    const QString n = nom.toLower();
    if (n == u"mes_docs")
        return &tblMesDocs;
    if (n == u"mes_docs_type")
        return &tblMesDocsType;
    if (n == u"message")
        return &tblMessage;
    if (n == u"message_type")
        return &tblMessageType;
    if (n == u"personnalisation")
        return &tblPerso;
    if (n == u"remise")
        return &tblRemise;
    return nullptr;
}
