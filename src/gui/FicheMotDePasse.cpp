#include "gui/FicheMotDePasse.h"
#include "ui_FicheMotDePasse.h"

#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

std::mutex g_verrouMemoire;
QStringList g_memorises;

void memoriser(const QString &motDePasse)
{
    const std::lock_guard<std::mutex> verrou(g_verrouMemoire);
    if (!g_memorises.contains(motDePasse))
        g_memorises << motDePasse;
}

void oublier(const QString &motDePasse)
{
    const std::lock_guard<std::mutex> verrou(g_verrouMemoire);
    g_memorises.removeAll(motDePasse);
}

// One question from the worker to the GUI thread.
struct Question
{
    std::mutex verrou;
    std::condition_variable reveil;
    bool repondue = false;
    bool abandonnee = false; // the task was cancelled: nobody waits for the answer any more
    std::optional<QString> reponse;
    bool memoriser = false;
};

// How often a waiting worker looks at the cancellation, and the dialog at the abandon.
constexpr std::chrono::milliseconds Intervalle{50};

void poser(QWidget *fenetre, const std::shared_ptr<Question> &q, const QString &fichier, bool precedentFaux)
{
    {
        const std::lock_guard<std::mutex> verrou(q->verrou);
        if (q->abandonnee)
            return;
    }
    // The window's busy cursor is not the dialog's.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    QPointer<TFicheMotDePasse> fiche = new TFicheMotDePasse(fenetre, fichier, precedentFaux);
    auto *surveillance = new QTimer(fiche);
    QObject::connect(surveillance, &QTimer::timeout, fiche, [q, fiche] {
        const std::lock_guard<std::mutex> verrou(q->verrou);
        if (q->abandonnee && fiche)
            fiche->reject();
    });
    surveillance->start(Intervalle);
    const bool acceptee = fiche->exec() == QDialog::Accepted;
    QGuiApplication::restoreOverrideCursor();
    std::optional<QString> reponse;
    bool garder = false;
    // Gone when its window went meanwhile: that is a cancel.
    if (fiche) {
        if (acceptee) {
            reponse = fiche->motDePasse();
            garder = fiche->memoriser() && !reponse->isEmpty();
        }
        delete fiche;
    }
    const std::lock_guard<std::mutex> verrou(q->verrou);
    q->reponse = std::move(reponse);
    q->memoriser = garder;
    q->repondue = true;
    q->reveil.notify_all();
}

} // namespace

TFicheMotDePasse::TFicheMotDePasse(QWidget *owner, const QString &fichier, bool precedentFaux)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint),
      ui(new Ui::TFicheMotDePasse)
{
    ui->setupUi(this);
    ui->lblTable->setText(QStringLiteral("La table ") + fichier + QStringLiteral(" est protégée par un mot de passe."));
    ui->lblFaux->setVisible(precedentFaux);
    connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnAnnuler, &QPushButton::clicked, this, &QDialog::reject);
    ui->edtMotDePasse->setFocus();
}

TFicheMotDePasse::~TFicheMotDePasse() = default;

QString TFicheMotDePasse::motDePasse() const
{
    return ui->edtMotDePasse->text();
}

bool TFicheMotDePasse::memoriser() const
{
    return ui->chkMemoriser->isChecked();
}

QStringList motsDePasseMemorises()
{
    const std::lock_guard<std::mutex> verrou(g_verrouMemoire);
    return g_memorises;
}

void oublierMotsDePasseMemorises()
{
    const std::lock_guard<std::mutex> verrou(g_verrouMemoire);
    g_memorises.clear();
}

paradox::DemandeMotDePasse demandeMotDePasse(QWidget *fenetre, const Annulation &annulation, QStringList connus)
{
    struct Etat
    {
        QStringList connus;   // already given to the table
        QStringList essayes;  // remembered passwords tried for the current table
        bool silencieux = false; // the last answer was a remembered password, tried unasked
        QString enEssai;      // remembered by the last answer, until the table says it was right
    };
    auto etat = std::make_shared<Etat>();
    etat->connus = std::move(connus);
    return [fenetre, &annulation, etat](const QString &fichier, bool precedentFaux) -> std::optional<QString> {
        if (!precedentFaux)
            etat->essayes.clear();
        else if (!etat->enEssai.isEmpty())
            oublier(etat->enEssai); // a wrong password is not worth remembering
        etat->enEssai.clear();
        // Remembered since the action started (for another table of it): tried before asking.
        for (const QString &m : motsDePasseMemorises()) {
            if (!etat->connus.contains(m) && !etat->essayes.contains(m)) {
                etat->essayes << m;
                etat->silencieux = true;
                return m;
            }
        }
        // Only a password the user typed is said to be wrong.
        const bool faux = precedentFaux && !etat->silencieux;
        etat->silencieux = false;
        if (annulation.demandee())
            return std::nullopt;
        auto q = std::make_shared<Question>();
        // Dropped with the window if it goes first; the wait below then ends on the cancellation.
        QMetaObject::invokeMethod(fenetre, [fenetre, q, fichier, faux] { poser(fenetre, q, fichier, faux); },
                                  Qt::QueuedConnection);
        std::unique_lock<std::mutex> verrou(q->verrou);
        while (!q->repondue) {
            if (annulation.demandee()) {
                q->abandonnee = true;
                return std::nullopt;
            }
            q->reveil.wait_for(verrou, Intervalle);
        }
        if (q->reponse && q->memoriser) {
            memoriser(*q->reponse);
            etat->enEssai = *q->reponse;
            etat->essayes << *q->reponse;
        }
        return q->reponse;
    };
}
