#include "gui/parametres/FicheExclureFnsListe.h"
#include "ui_FicheExclureFnsListe.h"

#include "core/base/Chemins.h"
#include "core/config/Parametres.h"
#include "core/export/TablesHalvenor.h"
#include "gui/Action.h"
#include "gui/CurseurOccupe.h"
#include "gui/Dialogues.h"
#include "gui/FicheMotDePasse.h"
#include "gui/Tache.h"

#include <QCollator>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QSet>
#include <QTreeWidgetItem>

namespace {

constexpr int ColonneNom = 0;
constexpr int ColonneCode = 1;
// The load looks at a cancellation (the window closed) between blocks of records.
constexpr int EnregistrementsParBloc = 1024;

// Names sort as people read them: letter case and accents do not count, so "éts Dupont"
// sits next to "Ets Martin" rather than after "Z".
const QCollator &collation()
{
    static const QCollator c = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return c;
}

class LigneFournisseur : public QTreeWidgetItem
{
public:
    LigneFournisseur(const QString &nom, const QString &code)
        : QTreeWidgetItem(QStringList{nom, code}), m_cle(collation().sortKey(nom))
    {
    }

    bool operator<(const QTreeWidgetItem &autre) const override
    {
        const auto *ligne = dynamic_cast<const LigneFournisseur *>(&autre);
        const int c = ligne ? m_cle.compare(ligne->m_cle) : 0;
        if (c != 0)
            return c < 0;
        return text(ColonneNom) < autre.text(ColonneNom);
    }

private:
    QCollatorSortKey m_cle;
};

} // namespace

TFicheExclureFnsListe::TFicheExclureFnsListe(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint),
      ui(new Ui::TFicheExclureFnsListe),
      tblFns(chemins().RepertoireProgramme, QStringLiteral("FOURNIS.DB"), champsFournis()),
      m_tache(new Tache(this))
{
    ui->setupUi(this);
    preparerListe(ui->lvFnsSource);
    preparerListe(ui->lvFnsExclu);

    connect(ui->btnExclrue, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnExclrueClick(); }); });
    connect(ui->btnReintegrer, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnReintegrerClick(); }); });
    connect(ui->btnEnregistrer, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnEnregistrerClick(); }); });

    FormCreate();
}

TFicheExclureFnsListe::~TFicheExclureFnsListe()
{
    m_tache->arreter(); // the load reads tblFns
    tblFns.close();
}

bool TFicheExclureFnsListe::chargementEnCours() const
{
    return m_tache->enCours();
}

void TFicheExclureFnsListe::preparerListe(QTreeWidget *liste)
{
    liste->setRootIsDecorated(false);
    liste->setUniformRowHeights(true);
    liste->setSelectionMode(QAbstractItemView::ExtendedSelection);
    liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    liste->setColumnHidden(ColonneCode, true);
    liste->header()->setSectionsMovable(false);
    // Sorting is switched on once the rows are in (FormCreate).
    liste->header()->setSortIndicator(ColonneNom, Qt::AscendingOrder);

    // The selection keeps its colour when the list loses the focus.
    QPalette p = liste->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    liste->setPalette(p);

    // Double-clicks anywhere in the list, empty area included, move the selection.
    liste->viewport()->installEventFilter(this);
}

void TFicheExclureFnsListe::FormCreate()
{
    // An unreadable file opens as a missing one; "Enregistrer" then says why it cannot save.
    const QStringList liste = Parametres::lireSiPossible(chemins().FichierIni).fournisseursExclus;
    const QSet<QString> exclus(liste.begin(), liste.end());

    // Rows are made on the worker (their sort keys cost most); the window owns them once added.
    struct Lignes
    {
        QList<QTreeWidgetItem *> inclus, nonInclus;
        ~Lignes()
        {
            qDeleteAll(inclus);
            qDeleteAll(nonInclus);
        }
    };
    auto lignes = std::make_shared<Lignes>();
    const QList<QWidget *> controles{ui->lvFnsSource, ui->lvFnsExclu, ui->btnExclrue, ui->btnReintegrer,
                                     ui->btnEnregistrer};
    for (QWidget *c : controles)
        c->setEnabled(false);
    auto curseur = std::make_shared<CurseurOccupe>();
    const QStringList memorises = motsDePasseMemorises();
    m_tache->lancer(
        [this, exclus, lignes, memorises](Messages &, const Annulation &annulation) {
            tblFns.definirMotsDePasse(memorises, demandeMotDePasse(this, annulation, memorises));
            const auto sansDemande = qScopeGuard([this] { tblFns.definirMotsDePasse({}); });
            bool complet = true;
            // Read again from its first record when FOURNIS is written meanwhile.
            paradox::lireSansModification({&tblFns}, [&] {
                qDeleteAll(std::exchange(lignes->inclus, {}));
                qDeleteAll(std::exchange(lignes->nonInclus, {}));
                tblFns.close();
                tblFns.open();
                paradox::Champ &code = tblFns.fieldByName(QStringLiteral("Code"));
                paradox::Champ &nom = tblFns.fieldByName(QStringLiteral("Nom"));
                int avantControle = EnregistrementsParBloc;
                for (tblFns.first(); !tblFns.eof(); tblFns.next()) {
                    if (--avantControle == 0) {
                        if (annulation.demandee()) {
                            complet = false;
                            return false;
                        }
                        avantControle = EnregistrementsParBloc;
                    }
                    const QString c = code.asString();
                    (exclus.contains(c) ? lignes->nonInclus : lignes->inclus) << new LigneFournisseur(nom.asString(), c);
                }
                return true;
            });
            return complet;
        },
        [this, lignes, controles, curseur](const Resultat &resultat) mutable {
            curseur.reset();
            if (!resultat.reussi()) {
                presenterResultat(this, resultat);
                reject();
                return;
            }
            // Added, then sorted once: a sorted list would sort again after every row.
            for (auto [vue, l] : {std::pair{ui->lvFnsSource, &lignes->inclus}, std::pair{ui->lvFnsExclu, &lignes->nonInclus}}) {
                vue->addTopLevelItems(std::exchange(*l, {}));
                vue->setSortingEnabled(true);
                // The header is not a sort control: the lists stay in name order.
                vue->header()->setSectionsClickable(false);
                vue->header()->setSortIndicatorShown(false);
            }
            for (QWidget *c : controles)
                c->setEnabled(true);
        });
}

bool TFicheExclureFnsListe::deplacer(QTreeWidget *depuis, QTreeWidget *vers)
{
    const QList<QTreeWidgetItem *> selection = depuis->selectedItems();
    if (selection.isEmpty())
        return false;
    for (QTreeWidgetItem *ligne : selection) {
        vers->addTopLevelItem(new LigneFournisseur(ligne->text(ColonneNom), ligne->text(ColonneCode)));
        delete ligne;
    }
    vers->sortItems(ColonneNom, Qt::AscendingOrder);
    return true;
}

void TFicheExclureFnsListe::btnExclrueClick()
{
    if (!deplacer(ui->lvFnsSource, ui->lvFnsExclu))
        dialogues().message(this, QStringLiteral("Vous devez sélectionner une ligne avant d'exclure un fournisseur."));
}

void TFicheExclureFnsListe::btnReintegrerClick()
{
    if (!deplacer(ui->lvFnsExclu, ui->lvFnsSource))
        dialogues().message(this,
                            QStringLiteral("Vous devez sélectionner une ligne avant de réintégrer un fournisseur."));
}

void TFicheExclureFnsListe::btnEnregistrerClick()
{
    Parametres p;
    QTreeWidget *liste = ui->lvFnsExclu;
    for (int i = 0; i < liste->topLevelItemCount(); ++i)
        p.fournisseursExclus << liste->topLevelItem(i)->text(ColonneCode);
    p.enregistrer(chemins().FichierIni, Parametres::Exclus);
    accept();
}

bool TFicheExclureFnsListe::eventFilter(QObject *objet, QEvent *evenement)
{
    if (evenement->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(evenement)->button() == Qt::LeftButton) {
        if (objet == ui->lvFnsSource->viewport()) {
            executerAction(this, [this] { lvFnsSourceDblClick(); });
            return true;
        }
        if (objet == ui->lvFnsExclu->viewport()) {
            executerAction(this, [this] { lvFnsExcluDblClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(objet, evenement);
}
