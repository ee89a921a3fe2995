#include "core/paradox/Table.h"

#include "core/base/Erreurs.h"
#include "core/paradox/FichierParadox.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace paradox {

QString nomType(TypeChamp type)
{
    switch (type) {
    case TypeChamp::Alpha: return QStringLiteral("alpha");
    case TypeChamp::Date: return QStringLiteral("date");
    case TypeChamp::Short: return QStringLiteral("short");
    case TypeChamp::Long: return QStringLiteral("long");
    case TypeChamp::Currency: return QStringLiteral("currency");
    case TypeChamp::Number: return QStringLiteral("number");
    case TypeChamp::Logical: return QStringLiteral("logical");
    case TypeChamp::Memo: return QStringLiteral("memo");
    case TypeChamp::Blob: return QStringLiteral("blob");
    case TypeChamp::FmtMemo: return QStringLiteral("fmtmemo");
    case TypeChamp::Ole: return QStringLiteral("ole");
    case TypeChamp::Graphic: return QStringLiteral("graphic");
    case TypeChamp::Time: return QStringLiteral("time");
    case TypeChamp::Timestamp: return QStringLiteral("timestamp");
    case TypeChamp::AutoInc: return QStringLiteral("autoinc");
    case TypeChamp::Bcd: return QStringLiteral("bcd");
    case TypeChamp::Bytes: return QStringLiteral("bytes");
    }
    return {};
}

// ---- Champ

TypeChamp Champ::type() const
{
    return m_table->fichier().champs()[size_t(m_index)].type;
}

int Champ::taille() const
{
    return m_table->fichier().champs()[size_t(m_index)].taille;
}

bool Champ::isNull() const
{
    const uchar *d = m_table->donneesCourantes();
    return !d || m_table->fichier().estNul(d, m_index);
}

QString Champ::asString() const
{
    const uchar *d = m_table->donneesCourantes();
    return d ? m_table->fichier().texte(d, m_index) : QString();
}

int Champ::asInteger() const
{
    const uchar *d = m_table->donneesCourantes();
    return d ? m_table->fichier().entier(d, m_index) : 0;
}

QVariant Champ::valeur() const
{
    const uchar *d = m_table->donneesCourantes();
    return d ? m_table->fichier().valeur(d, m_index) : QVariant();
}

// ---- Table

Table::Table(QString repertoireProgramme, QString nomFichier, QStringList champsDeclares)
    : m_repertoireProgramme(std::move(repertoireProgramme)),
      m_nomFichier(std::move(nomFichier)),
      m_champsDeclares(std::move(champsDeclares))
{
}

std::unique_ptr<Table> Table::depuisChemin(const QString &chemin)
{
    auto t = std::make_unique<Table>(QString(), QFileInfo(chemin).fileName());
    t->m_cheminDirect = chemin;
    return t;
}

Table::~Table() = default;

bool Table::isOpen() const
{
    return m_fichier != nullptr;
}

void Table::nonOuverte() const
{
    throw HalvenorError(QStringLiteral("La table « ") + m_nomFichier + QStringLiteral(" » n'est pas ouverte."));
}

void Table::definirMotsDePasse(QStringList connus, DemandeMotDePasse demander)
{
    m_motsDePasse = std::move(connus);
    m_demande = std::move(demander);
    m_cleAcceptee = 0;
}

void Table::open()
{
    if (isOpen())
        return;
    QString chemin = m_cheminDirect;
    if (chemin.isEmpty()) {
        const QString repertoire = repertoireAlias(m_repertoireProgramme);
        if (!QFileInfo(repertoire).isDir())
            throw HalvenorError(QStringLiteral("Le répertoire de l'alias ZentraveAdministration est introuvable : ")
                                + QDir::toNativeSeparators(repertoire));
        chemin = trouverSansCasse(repertoire, m_nomFichier);
        if (chemin.isEmpty())
            throw HalvenorError(QStringLiteral("La table « ") + m_nomFichier
                                + QStringLiteral(" » est introuvable dans le répertoire de l'alias "
                                                 "ZentraveAdministration (")
                                + QDir::toNativeSeparators(repertoire) + QStringLiteral(")."));
    } else if (!QFileInfo(chemin).isFile()) {
        throw HalvenorError(QStringLiteral("La table « ") + QDir::toNativeSeparators(chemin)
                            + QStringLiteral(" » est introuvable."));
    }

    // Within lireSansModification, the files' state is taken before anything is read, and
    // compared after the walk.
    if (m_surveillee && m_empreinte.isEmpty()) {
        m_cheminOuvert = chemin;
        m_cheminMemos = cheminMemosDe(chemin);
        m_empreinte = empreinteTable(chemin, m_cheminMemos, true);
    }
    MotsDePasse motsDePasse{m_motsDePasse, m_cleAcceptee, m_demande, m_nomFichier};
    if (m_cheminDirect.isEmpty())
        motsDePasse.connus = motsDePasseAlias(m_repertoireProgramme) + motsDePasse.connus;
    auto fichier = std::make_unique<FichierParadox>(chemin, motsDePasse);
    if (fichier->cleChiffrement() != 0)
        m_cleAcceptee = fichier->cleChiffrement(); // a read again does not ask again
    std::vector<Champ> champs;
    if (m_champsDeclares.isEmpty()) {
        const auto &description = fichier->champs();
        for (size_t i = 0; i < description.size(); ++i)
            champs.push_back(Champ(this, int(i), description[i].nom));
    } else {
        for (const QString &nom : m_champsDeclares) {
            const int i = fichier->indexChamp(nom);
            if (i < 0)
                throw HalvenorError(QStringLiteral("Le champ « ") + nom + QStringLiteral(" » est absent de la table « ")
                                    + m_nomFichier + QStringLiteral(" »."));
            champs.push_back(Champ(this, i, nom));
        }
    }
    m_fichier = std::move(fichier);
    m_champs = std::move(champs);
    first();
}

void Table::close()
{
    m_fichier.reset();
    m_donnees = nullptr;
    m_courant = 0;
    m_rang = 0;
}

int Table::recordCount() const
{
    return fichier().nombreEnregistrements();
}

void Table::first()
{
    FichierParadox &f = *fichierOuvert();
    m_courant = 0;
    m_rang = 0;
    m_donnees = nullptr;
    if (f.premierBloc())
        m_donnees = f.enregistrement(0);
}

void Table::next()
{
    FichierParadox &f = *fichierOuvert();
    if (eof())
        return;
    ++m_courant;
    if (m_courant >= f.nombreEnregistrements())
        return; // past the last record: it stays the current one, as it did in the original
    if (++m_rang >= f.enregistrementsDansBloc()) {
        m_rang = 0;
        m_donnees = nullptr;
        if (!f.blocSuivant())
            return;
    }
    m_donnees = f.enregistrement(m_rang);
}

bool Table::eof() const
{
    return m_courant >= fichier().nombreEnregistrements();
}

int Table::fieldCount() const
{
    return int(m_champs.size());
}

Champ &Table::field(int index)
{
    if (!m_fichier && m_champs.empty())
        nonOuverte();
    if (index < 0 || index >= fieldCount())
        throw HalvenorError(QStringLiteral("Pas de champ n° ") + QString::number(index)
                            + QStringLiteral(" dans la table « ") + m_nomFichier + QStringLiteral(" »."));
    return m_champs[size_t(index)];
}

Champ &Table::fieldByName(const QString &nom)
{
    if (!m_fichier && m_champs.empty())
        nonOuverte();
    for (Champ &c : m_champs)
        if (c.nom().compare(nom, Qt::CaseInsensitive) == 0)
            return c;
    throw HalvenorError(QStringLiteral("Le champ « ") + nom + QStringLiteral(" » n'existe pas dans la table « ")
                        + m_nomFichier + QStringLiteral(" »."));
}

bool Table::modifieeDepuisOuverture() const
{
    return !m_empreinte.isEmpty() && empreinteTable(m_cheminOuvert, m_cheminMemos, false) != m_empreinte;
}

void lireSansModification(std::initializer_list<Table *> tables, const std::function<bool()> &lecture)
{
    constexpr int relectures = 3;
    for (int essai = 0;; ++essai) {
        for (Table *t : tables) {
            t->m_surveillee = true;
            t->m_empreinte.clear();
        }
        const auto finSurveillance = [&tables] {
            for (Table *t : tables)
                t->m_surveillee = false;
        };
        std::exception_ptr erreur;
        bool complete = false;
        try {
            complete = lecture();
        } catch (const MotDePasseRefuse &) {
            finSurveillance();
            throw;
        } catch (...) {
            erreur = std::current_exception();
        }
        finSurveillance();
        // Stopped before the end: nothing of this read is kept, whatever changed meanwhile.
        if (!erreur && !complete)
            return;
        const Table *modifiee = nullptr;
        for (Table *t : tables) {
            if (t->modifieeDepuisOuverture()) {
                modifiee = t;
                break;
            }
        }
        // A table written while read may also look damaged: the change is what to report.
        if (!modifiee) {
            if (erreur)
                std::rethrow_exception(erreur);
            return;
        }
        if (essai == relectures)
            throw HalvenorError(QStringLiteral("La table ") + modifiee->m_nomFichier
                                + QStringLiteral(" a été modifiée pendant la lecture ; réessayez plus tard."));
    }
}

FichierParadox *Table::fichierOuvert()
{
    if (!m_fichier)
        nonOuverte();
    return m_fichier.get();
}

const FichierParadox &Table::fichier() const
{
    if (!m_fichier)
        nonOuverte();
    return *m_fichier;
}

const uchar *Table::donneesCourantes() const
{
    if (!m_fichier)
        nonOuverte();
    return m_donnees;
}

} // namespace paradox
