#include "core/xml/NativeXml.h"

#include "core/base/EcritureSure.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "core/base/PageCode.h"
#include "core/xml/Texte1252.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSaveFile>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr char encodage[] = "windows-1252";
const QString NomHors1252 = QStringLiteral("un nom d'élément ou d'attribut ne s'écrit pas en windows-1252.");

void initialiser()
{
    // The CLI does it at start; documents made elsewhere (tests, GUI) must not depend on that.
    static const bool fait = [] {
        xmlInitParser();
        return true;
    }();
    (void)fait;
}

// ---- Text on its way in: UTF-8 holding only what windows-1252 and XML 1.0 both accept.

using texte1252::dans1252;
using texte1252::garderBas;
using texte1252::nomXmlValide;

void versUtf8(const QString &texte, std::string &sortie)
{
    sortie.clear();
    const auto n = texte.size();
    sortie.reserve(static_cast<size_t>(n) + 8);
    const char16_t *s = reinterpret_cast<const char16_t *>(texte.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            sortie.push_back(garderBas[c] ? static_cast<char>(c) : '?');
        } else if (c < 0x100) {
            if (garderBas[c]) {
                sortie.push_back(static_cast<char>(0xC0 | (c >> 6)));
                sortie.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                sortie.push_back('?');
            }
        } else if (dans1252(c)) {
            if (c < 0x800) {
                sortie.push_back(static_cast<char>(0xC0 | (c >> 6)));
                sortie.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                sortie.push_back(static_cast<char>(0xE0 | (c >> 12)));
                sortie.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                sortie.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        } else {
            // A surrogate pair is one character: one "?".
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]))
                ++i;
            sortie.push_back('?');
        }
    }
}

const xmlChar *x(const std::string &s)
{
    return reinterpret_cast<const xmlChar *>(s.c_str());
}

QString depuisXml(const xmlChar *s)
{
    return s ? QString::fromUtf8(reinterpret_cast<const char *>(s)) : QString();
}

// Scratch buffer: one value and one lookup name at a time per thread; documents are built
// and read on workers as well as on the GUI thread.
std::string &tampon()
{
    thread_local std::string t;
    return t;
}

void sansMessage(void *, const char *, ...) {}
void sansErreur(void *, xmlErrorPtr) {}

// libxml2 prints its I/O errors on stderr; we report them ourselves.
struct Silence
{
    xmlGenericErrorFunc generique = xmlGenericError;
    void *contexteGenerique = xmlGenericErrorContext;
    xmlStructuredErrorFunc structuree = xmlStructuredError;
    void *contexteStructure = xmlStructuredErrorContext;
    Silence()
    {
        xmlSetGenericErrorFunc(nullptr, sansMessage);
        xmlSetStructuredErrorFunc(nullptr, sansErreur);
    }
    ~Silence()
    {
        xmlSetGenericErrorFunc(contexteGenerique, generique);
        xmlSetStructuredErrorFunc(contexteStructure, structuree);
    }
    Silence(const Silence &) = delete;
    Silence &operator=(const Silence &) = delete;
};

struct Sortie
{
    QIODevice *appareil;
    qint64 total = 0;
};

int ecrireDans(void *contexte, const char *octets, int longueur)
{
    auto *sortie = static_cast<Sortie *>(contexte);
    if (sortie->appareil->write(octets, longueur) != longueur)
        return -1;
    sortie->total += longueur;
    return longueur;
}

bool nomEn1252(const xmlChar *nom)
{
    if (!nom)
        return true;
    for (const QChar c : QString::fromUtf8(reinterpret_cast<const char *>(nom))) {
        const char16_t u = c.unicode();
        if (u < 0x100 ? !garderBas[u] : !dans1252(u))
            return false;
    }
    return true;
}

// A loaded document may hold names that windows-1252 cannot write: libxml2 would put a
// character reference inside the name, a file nobody can read back. Names we add are checked
// already (nomValide); this walks the tree once, each distinct name once.
bool espaceDeNomsNonReecrivible(xmlNodePtr n)
{
    for (; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE)
            continue;
        for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
            if (ns->href && (xmlStrchr(ns->href, '<') || xmlStrchr(ns->href, '&')))
                return true;
        if (espaceDeNomsNonReecrivible(n->children))
            return true;
    }
    return false;
}

bool nomsEn1252(const xmlNode *n, QSet<const xmlChar *> &vus)
{
    for (; n; n = n->next) {
        const bool nomme = n->type != XML_TEXT_NODE && n->type != XML_COMMENT_NODE && n->type != XML_CDATA_SECTION_NODE;
        if (nomme && !vus.contains(n->name)) {
            if (!nomEn1252(n->name))
                return false;
            vus.insert(n->name);
        }
        // Only elements have the fields after the common header (ns, properties).
        if (n->type == XML_ELEMENT_NODE) {
            if (n->ns && !nomEn1252(n->ns->prefix))
                return false;
            // A declaration nobody uses is written too ("xmlns:p").
            for (const xmlNs *ns = n->nsDef; ns; ns = ns->next)
                if (!nomEn1252(ns->prefix))
                    return false;
            for (const xmlAttr *a = n->properties; a; a = a->next)
                if (!vus.contains(a->name)) {
                    if (!nomEn1252(a->name) || (a->ns && !nomEn1252(a->ns->prefix)))
                        return false;
                    vus.insert(a->name);
                }
        }
        // A declaration holds names in many places (content models, enumerations, the
        // element an attribute list is for): the whole internal subset, as it would be written.
        if (n->type == XML_DTD_NODE) {
            xmlBufferPtr texte = xmlBufferCreate();
            if (!texte)
                throw std::bad_alloc();
            xmlNodeDump(texte, n->doc, const_cast<xmlNode *>(n), 0, 0);
            const bool ok = nomEn1252(xmlBufferContent(texte));
            xmlBufferFree(texte);
            if (!ok)
                return false;
        }
        if (n->type == XML_ELEMENT_NODE && !nomsEn1252(n->children, vus))
            return false;
    }
    return true;
}

// Number of bytes handed to the device, or -1.
qint64 enregistrer(xmlDocPtr doc, QIODevice &appareil)
{
    const Silence silence;
    Sortie sortie{&appareil};
    xmlSaveCtxtPtr ctxt = xmlSaveToIO(ecrireDans, nullptr, &sortie, encodage, 0);
    if (!ctxt)
        return -1;
    const long ecrits = xmlSaveDoc(ctxt, doc);
    const int fin = xmlSaveClose(ctxt);
    return ecrits >= 0 && fin >= 0 ? sortie.total : -1;
}

// Names already converted and checked, per document, kept in xmlDoc::_private.
// They point into the document's dictionary, which lives as long as the document.
struct Noms
{
    QHash<QString, const xmlChar *> valides;
};

Noms *noms(xmlDocPtr doc)
{
    if (!doc->_private)
        doc->_private = new Noms;
    return static_cast<Noms *>(doc->_private);
}

void libererDocument(xmlDocPtr doc)
{
    if (!doc)
        return;
    delete static_cast<Noms *>(doc->_private);
    doc->_private = nullptr;
    xmlFreeDoc(doc);
}

// The name as the document's own string; refused when the file would not be well-formed.
const xmlChar *nomValide(xmlDocPtr doc, const QString &nom, const char *genre)
{
    Noms *n = noms(doc);
    const auto trouve = n->valides.constFind(nom);
    if (trouve != n->valides.constEnd())
        return trouve.value();
    if (!nomXmlValide(nom))
        throw HalvenorError(QStringLiteral("Nom %1 XML incorrect : « %2 »").arg(QLatin1String(genre), nom));
    std::string utf8;
    versUtf8(nom, utf8);
    const xmlChar *interne = xmlDictLookup(doc->dict, x(utf8), static_cast<int>(utf8.size()));
    if (!interne)
        throw std::bad_alloc();
    n->valides.insert(nom, interne);
    return interne;
}

// Name comparison against a node's qualified name ("prefix:local" when it has a prefix).
bool memeNom(const xmlChar *nom, const xmlNs *ns, const std::string &cherche)
{
    if (!nom)
        return false;
    const char *local = reinterpret_cast<const char *>(nom);
    if (!ns || !ns->prefix)
        return cherche == local;
    const char *prefixe = reinterpret_cast<const char *>(ns->prefix);
    const size_t lp = std::strlen(prefixe);
    return cherche.size() > lp && cherche.compare(0, lp, prefixe) == 0 && cherche[lp] == ':'
        && cherche.compare(lp + 1, std::string::npos, local) == 0;
}

bool porteEnfants(const xmlNode *n)
{
    return n && (n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE);
}

xmlNodePtr premierEnfant(xmlNodePtr parent, const QString &nom)
{
    if (!porteEnfants(parent))
        return nullptr;
    std::string cherche;
    versUtf8(nom, cherche);
    for (xmlNodePtr c = parent->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && memeNom(c->name, c->ns, cherche))
            return c;
    return nullptr;
}

xmlAttrPtr attribut(xmlNodePtr n, const QString &nom)
{
    if (!n || n->type != XML_ELEMENT_NODE)
        return nullptr;
    std::string cherche;
    versUtf8(nom, cherche);
    for (xmlAttrPtr a = n->properties; a; a = a->next)
        if (memeNom(a->name, a->ns, cherche))
            return a;
    return nullptr;
}

QString contenu(const xmlNode *n)
{
    xmlChar *texte = xmlNodeGetContent(n);
    const QString resultat = depuisXml(texte);
    xmlFree(texte);
    return resultat;
}

// Loading never reaches anything but the file itself, whatever the options say.
xmlParserInputPtr refuserEntite(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

struct ChargeurRefusant
{
    xmlExternalEntityLoader ancien = xmlGetExternalEntityLoader();
    ChargeurRefusant() { xmlSetExternalEntityLoader(refuserEntite); }
    ~ChargeurRefusant() { xmlSetExternalEntityLoader(ancien); }
    ChargeurRefusant(const ChargeurRefusant &) = delete;
    ChargeurRefusant &operator=(const ChargeurRefusant &) = delete;
};

xmlDocPtr nouveauDocument()
{
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    if (!doc)
        throw std::bad_alloc();
    // A dictionary makes every element and attribute name one shared string.
    doc->dict = xmlDictCreate();
    doc->encoding = xmlStrdup(BAD_CAST encodage);
    return doc;
}

void arreterSurEntite(void *contexte)
{
    auto *ctxt = static_cast<xmlParserCtxtPtr>(contexte);
    *static_cast<bool *>(ctxt->_private) = true;
    ctxt->wellFormed = 0;
    xmlStopParser(ctxt);
}

void refuserDeclaration(void *contexte, const xmlChar *, int, const xmlChar *, const xmlChar *, xmlChar *)
{
    arreterSurEntite(contexte);
}

void refuserNonAnalysee(void *contexte, const xmlChar *, const xmlChar *, const xmlChar *, const xmlChar *)
{
    arreterSurEntite(contexte);
}

// True when the XML declaration names windows-1252 (or its alias cp1252).
bool declare1252(const QByteArray &octets)
{
    if (!octets.startsWith("<?xml"))
        return false;
    const qsizetype fin = octets.indexOf("?>");
    if (fin < 0 || fin > 512)
        return false;
    const QByteArray decl = octets.left(fin).toLower();
    qsizetype i = decl.indexOf("encoding");
    if (i < 0)
        return false;
    i += 8;
    while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' || decl[i] == '\n'))
        ++i;
    if (i >= decl.size() || decl[i] != '=')
        return false;
    ++i;
    while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' || decl[i] == '\n'))
        ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
        return false;
    const char guillemet = decl[i];
    const qsizetype debut = i + 1;
    const qsizetype finValeur = decl.indexOf(guillemet, debut);
    if (finValeur < 0)
        return false;
    const QByteArray nom = decl.mid(debut, finValeur - debut);
    return nom == "windows-1252" || nom == "cp1252";
}

} // namespace

// ---- Nodes

QString TNativeXMLNode::name() const
{
    if (!m_node || !m_node->name || m_node->type == XML_DOCUMENT_NODE)
        return QString();
    const QString local = depuisXml(m_node->name);
    if (m_node->ns && m_node->ns->prefix)
        return depuisXml(m_node->ns->prefix) + u':' + local;
    return local;
}

TNativeXMLNode TNativeXMLNode::AddChild(const QString &nom) const
{
    if (!porteEnfants(m_node))
        return {};
    xmlDocPtr doc = m_node->doc;
    if (m_node->type == XML_DOCUMENT_NODE && xmlDocGetRootElement(doc))
        throw HalvenorError(QStringLiteral("Le document XML a déjà un élément racine : impossible d'ajouter « ")
                            + nom + QStringLiteral(" » à côté."));
    const xmlChar *n = nomValide(doc, nom, "d'élément");
    xmlNodePtr enfant = xmlNewDocNode(doc, nullptr, n, nullptr);
    if (!enfant)
        throw std::bad_alloc();
    xmlAddChild(m_node, enfant);
    return {m_document, enfant};
}

TNativeXMLNode TNativeXMLNode::FindChild(const QString &nom) const
{
    xmlNodePtr n = premierEnfant(m_node, nom);
    return n ? TNativeXMLNode(m_document, n) : TNativeXMLNode();
}

TNativeXMLNode TNativeXMLNode::ChildByName(const QString &nom) const
{
    if (xmlNodePtr n = premierEnfant(m_node, nom))
        return {m_document, n};
    return AddChild(nom);
}

void TNativeXMLNode::SetAttribute(const QString &nom, const QString &valeur) const
{
    if (!m_node || m_node->type != XML_ELEMENT_NODE)
        return;
    const xmlChar *n = nomValide(m_node->doc, nom, "d'attribut");
    std::string &v = tampon();
    versUtf8(valeur, v);
    // xmlSetProp stores the text as is: no entity parsing of "&".
    if (!xmlSetProp(m_node, n, x(v)))
        throw std::bad_alloc();
}

void TNativeXMLNode::SetAttributeInt(const QString &nom, int valeur) const
{
    if (!m_node || m_node->type != XML_ELEMENT_NODE)
        return;
    const xmlChar *n = nomValide(m_node->doc, nom, "d'attribut");
    char texte[16];
    std::snprintf(texte, sizeof texte, "%d", valeur);
    if (!xmlSetProp(m_node, n, BAD_CAST texte))
        throw std::bad_alloc();
}

QString TNativeXMLNode::GetAttribute(const QString &nom, const QString &defaut) const
{
    xmlAttrPtr a = attribut(m_node, nom);
    return a ? contenu(reinterpret_cast<xmlNodePtr>(a)) : defaut;
}

int TNativeXMLNode::GetAttributeInt(const QString &nom, int defaut) const
{
    xmlAttrPtr a = attribut(m_node, nom);
    if (!a)
        return defaut;
    int v = defaut;
    return formats::lireEntier(contenu(reinterpret_cast<xmlNodePtr>(a)), v) ? v : defaut;
}

QString TNativeXMLNode::GetValue() const
{
    if (!m_node)
        return QString();
    if (m_node->type == XML_ELEMENT_NODE) {
        const xmlNode *c = m_node->children;
        if (c && !c->next && (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE))
            return depuisXml(c->content);
    }
    return contenu(m_node);
}

void TNativeXMLNode::ChildrenByName(const QString &nom, TNativeXMLNodeList &liste) const
{
    if (!porteEnfants(m_node))
        return;
    std::string cherche;
    versUtf8(nom, cherche);
    for (xmlNodePtr c = m_node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && memeNom(c->name, c->ns, cherche))
            liste.Add(TNativeXMLNode(m_document, c));
}

// ---- Document

TNativeXMLDocument::TNativeXMLDocument(const QString &rootName) : m_rootName(rootName)
{
    initialiser();
    m_doc = nouveauDocument();
    m_documentNode = TNativeXMLNode(this, reinterpret_cast<xmlNodePtr>(m_doc));
    try {
        m_root = m_documentNode.ChildByName(m_rootName);
    } catch (...) {
        libererDocument(m_doc);
        throw;
    }
}

TNativeXMLDocument::~TNativeXMLDocument()
{
    libererDocument(m_doc);
}

void TNativeXMLDocument::LoadFromFile(const QString &chemin)
{
    QFile f(chemin);
    const auto refus = [&](const QString &raison) {
        return HalvenorError(QStringLiteral("Impossible de lire le fichier XML « ") + chemin
                             + QStringLiteral(" » : ") + raison);
    };
    if (!f.open(QIODevice::ReadOnly))
        throw refus(f.errorString());
    const QByteArray octets = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw refus(f.errorString());
    f.close();
    LoadFromMemory(octets, chemin);
}

void TNativeXMLDocument::LoadFromMemory(const QByteArray &octetsLus, const QString &chemin)
{
    initialiser();
    const auto refus = [&](const QString &raison) {
        return HalvenorError(QStringLiteral("Impossible de lire le fichier XML « ") + chemin
                             + QStringLiteral(" » : ") + raison);
    };
    // iconv refuses the five bytes windows-1252 leaves unassigned; we read them as the C1
    // controls of the same code, as the INI reader does, by decoding the file ourselves.
    const bool en1252 = declare1252(octetsLus);
    const QByteArray octets = en1252 ? paradox::PageCode::windows1252().decoder(octetsLus).toUtf8() : octetsLus;
    if (octets.size() > std::numeric_limits<int>::max())
        throw refus(QStringLiteral("fichier trop volumineux"));

    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt)
        throw std::bad_alloc();
    bool entiteDeclaree = false;
    ctxt->_private = &entiteDeclaree;
    // libxml2 bounds entity expansion while it parses, but without XML_PARSE_NOENT the references
    // stay in the tree and every xmlNodeGetContent expands them again, with no limit at all: a
    // few kilobytes of references cost minutes. So any entity declaration stops the parse and
    // the document is refused; only the five predefined entities and character references are read.
    ctxt->sax->entityDecl = refuserDeclaration;
    ctxt->sax->unparsedEntityDecl = refuserNonAnalysee;
    xmlDocPtr doc = nullptr;
    {
        const Silence silence; // conversion errors go to stderr otherwise, whatever the options
        const ChargeurRefusant chargeur;
        // No XML_PARSE_NOENT, XML_PARSE_DTDLOAD or XML_PARSE_HUGE: external entities and DTDs
        // stay unread.
        int options = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
        if (en1252)
            options |= XML_PARSE_IGNORE_ENC;
        doc = xmlCtxtReadMemory(ctxt, octets.constData(), static_cast<int>(octets.size()), nullptr,
                                en1252 ? "UTF-8" : nullptr, options);
    }
    if (!doc || !ctxt->wellFormed || entiteDeclaree) {
        QString raison = QStringLiteral("le fichier n'est pas un document XML correct");
        if (entiteDeclaree)
            raison = QStringLiteral("le fichier déclare des entités, refusées");
        else if (const xmlError *e = xmlCtxtGetLastError(ctxt); e && e->message)
            raison = depuisXml(BAD_CAST e->message).trimmed()
                     + QStringLiteral(" (ligne %1)").arg(e->line);
        xmlFreeDoc(doc);
        xmlFreeParserCtxt(ctxt);
        throw refus(raison);
    }
    xmlFreeParserCtxt(ctxt);
    // libxml2 writes a namespace's URI back without escaping it: one holding "<" or "&" would
    // make a file that no parser reads again.
    if (espaceDeNomsNonReecrivible(doc->children)) {
        xmlFreeDoc(doc);
        throw refus(QStringLiteral("un espace de noms porte « < » ou « & » dans son adresse"));
    }

    if (!doc->dict)
        doc->dict = xmlDictCreate();
    // Whatever the file declared, a save writes windows-1252.
    if (doc->encoding && !xmlDictOwns(doc->dict, doc->encoding))
        xmlFree(const_cast<xmlChar *>(doc->encoding));
    doc->encoding = xmlStrdup(BAD_CAST encodage);

    libererDocument(m_doc);
    m_doc = doc;
    m_documentNode = TNativeXMLNode(this, reinterpret_cast<xmlNodePtr>(m_doc));
    const TNativeXMLNode racine = m_documentNode.FindChild(m_rootName);
    m_root = racine ? racine : m_documentNode;
}

QByteArray TNativeXMLDocument::toBytes() const
{
    if (QSet<const xmlChar *> vus; !nomsEn1252(m_doc->children, vus))
        throw HalvenorError(QStringLiteral("Impossible de convertir le document XML en windows-1252 : ") + NomHors1252);
    QByteArray octets;
    QBuffer tampon(&octets);
    tampon.open(QIODevice::WriteOnly);
    if (enregistrer(m_doc, tampon) < 0)
        throw HalvenorError(QStringLiteral("Impossible de convertir le document XML en windows-1252."));
    return octets;
}

void TNativeXMLDocument::SaveToFile(const QString &chemin) const
{
    const auto echec = [&](const QString &raison) {
        return HalvenorError(QStringLiteral("Impossible d'enregistrer le fichier XML « ") + chemin
                             + QStringLiteral(" » : ") + raison);
    };
    if (QSet<const xmlChar *> vus; !nomsEn1252(m_doc->children, vus))
        throw echec(NomHors1252);
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        throw echec(f.errorString());
    const qint64 total = enregistrer(m_doc, f);
    if (total < 0) {
        const QString raison = f.errorString();
        f.cancelWriting();
        throw echec(raison);
    }
    if (const ResultatEcriture r = terminerEcriture(f, total); !r)
        throw echec(r.raison());
}
