#include "gui/Dialogues.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

class DialoguesReels : public Dialogues
{
public:
    void message(QWidget *parent, const QString &texte) override
    {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Halvenor"), texte, QMessageBox::Ok, parent);
        box.exec();
    }

    void erreur(QWidget *parent, const QString &texte) override
    {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Halvenor"), texte, QMessageBox::Ok, parent);
        box.exec();
    }

    bool question(QWidget *parent, const QString &texte) override
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Halvenor"), texte, QMessageBox::Yes | QMessageBox::No,
                        parent);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Oui"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Non"));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }

    std::optional<QString> choisirDossier(QWidget *parent, const QString &titre, const QString &racine) override
    {
        const QString d = QFileDialog::getExistingDirectory(parent, titre, racine, QFileDialog::ShowDirsOnly);
        if (d.isEmpty())
            return std::nullopt;
        return d;
    }

    std::optional<QString> enregistrerSous(QWidget *parent, const QString &titre, const QString &filtre,
                                           const QString &suffixe) override
    {
        QFileDialog dlg(parent, titre, QString(), filtre);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(suffixe);
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return std::nullopt;
        return dlg.selectedFiles().first();
    }
};

DialoguesReels g_reels;
Dialogues *g_dialogues = &g_reels;

} // namespace

Dialogues &dialogues()
{
    return *g_dialogues;
}

void definirDialogues(Dialogues *d)
{
    g_dialogues = d ? d : &g_reels;
}
