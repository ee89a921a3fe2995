#pragma once

#include <QString>

#include <memory>
#include <vector>

// Thin layer over libxml2 through which every XML file is written and read.
// Names and values are QString inside; files are saved in windows-1252 with the
// declaration <?xml version="1.0" encoding="windows-1252"?>, no indentation.
// A character that windows-1252 cannot hold, or that XML 1.0 forbids, becomes "?"
// on its way in. Loading reads whatever encoding a file declares, with no network
// access and no external entity or DTD loading; a document that declares an entity is refused.
// Failures (unreadable or malformed file, unwritable path) throw HalvenorError.

class TNativeXMLDocument;
struct _xmlNode;
struct _xmlDoc;
class TNativeXMLNodeList;

// A non-owning handle on a node. A default-constructed handle is "no handle":
// every operation on it gives no handle, or the default.
class TNativeXMLNode
{
public:
    TNativeXMLNode() = default;
    TNativeXMLNode(TNativeXMLDocument *document, _xmlNode *node) : m_document(document), m_node(node) {}

    bool isNull() const { return m_node == nullptr; }
    explicit operator bool() const { return m_node != nullptr; }
    QString name() const;

    TNativeXMLNode AddChild(const QString &nom) const;
    TNativeXMLNode FindChild(const QString &nom) const;
    TNativeXMLNode ChildByName(const QString &nom) const;
    void SetAttribute(const QString &nom, const QString &valeur) const;
    void SetAttributeInt(const QString &nom, int valeur) const;
    QString GetAttribute(const QString &nom, const QString &defaut) const;
    int GetAttributeInt(const QString &nom, int defaut) const;
    QString GetValue() const;
    void ChildrenByName(const QString &nom, TNativeXMLNodeList &liste) const;

    _xmlNode *node() const { return m_node; }
    TNativeXMLDocument *document() const { return m_document; }

private:
    TNativeXMLDocument *m_document = nullptr;
    _xmlNode *m_node = nullptr;
};

class TNativeXMLNodeList
{
public:
    int Count() const { return static_cast<int>(m_noeuds.size()); }
    void Add(const TNativeXMLNode &n)
    {
        if (!n.isNull())
            m_noeuds.push_back(n);
    }
    // No handle when the index is out of range.
    TNativeXMLNode Get(int index) const
    {
        return index >= 0 && index < Count() ? m_noeuds[static_cast<size_t>(index)] : TNativeXMLNode();
    }

private:
    std::vector<TNativeXMLNode> m_noeuds;
};

class TNativeXMLDocument
{
public:
    explicit TNativeXMLDocument(const QString &rootName);
    ~TNativeXMLDocument();
    TNativeXMLDocument(const TNativeXMLDocument &) = delete;
    TNativeXMLDocument &operator=(const TNativeXMLDocument &) = delete;

    // Replaces the content; Root is the top element named RootName, or the document node.
    void LoadFromFile(const QString &chemin);
    // The same over bytes already read; `chemin` only names them in errors.
    void LoadFromMemory(const QByteArray &octets, const QString &chemin);
    // Whole document in windows-1252, through QSaveFile: a failure leaves any previous file whole.
    void SaveToFile(const QString &chemin) const;
    // The bytes SaveToFile writes.
    QByteArray toBytes() const;

    TNativeXMLNode DocumentNode() const { return m_documentNode; }
    TNativeXMLNode Root() const { return m_root; }
    const QString &RootName() const { return m_rootName; }

private:
    QString m_rootName;
    _xmlDoc *m_doc = nullptr;
    TNativeXMLNode m_documentNode;
    TNativeXMLNode m_root;
};
