#pragma once

// Finding and clicking the named controls of a window (a missing control stops the program,
// since every later check would be meaningless), and the bench most window tests start from.

#include "DialoguesEnregistres.h"

#include "core/base/Chemins.h"
#include "gui/Demarrage.h"
#include "gui/Tache.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLatin1String>
#include <QRadioButton>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>

template <typename T>
T *enfant(QWidget &w, const QString &nom)
{
    T *t = w.findChild<T *>(nom);
    if (!t)
        qFatal("widget %s introuvable", qPrintable(nom));
    return t;
}

template <typename T>
T *enfant(QWidget &w, const char *nom)
{
    return enfant<T>(w, QString(QLatin1String(nom)));
}

// A mouse click on the named button, where a user would click it.
inline void cliquer(QWidget &w, const QString &nom)
{
    auto *b = enfant<QAbstractButton>(w, nom);
    // Radio buttons and check boxes only react on their indicator and caption, at the left.
    if (qobject_cast<QRadioButton *>(b) || qobject_cast<QCheckBox *>(b))
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(6, b->height() / 2));
    else
        QTest::mouseClick(b, Qt::LeftButton);
}

inline void cliquer(QWidget &w, const char *nom)
{
    cliquer(w, QString(QLatin1String(nom)));
}

// True while a task of the window (or of a window it owns) runs: tests wait with
// QTRY_VERIFY(!tacheEnCours(f)) for the result to be shown.
inline bool tacheEnCours(QObject &fenetre)
{
    for (const Tache *t : fenetre.findChildren<Tache *>())
        if (t->enCours())
            return true;
    return false;
}

// Runs `action` on the window once it is shown modally; its loading lets events through,
// so a plain zero timer would fire too early. Gives up, closing whatever is modal, after 10 s.
template <typename Fenetre, typename Action>
void quandOuverte(QObject *contexte, Action action)
{
    auto *minuteur = new QTimer(contexte);
    auto essais = std::make_shared<int>(0);
    QObject::connect(minuteur, &QTimer::timeout, contexte, [minuteur, essais, action] {
        QWidget *modale = QApplication::activeModalWidget();
        if (auto *fenetre = qobject_cast<Fenetre *>(modale)) {
            minuteur->stop();
            minuteur->deleteLater();
            action(*fenetre);
        } else if (++*essais > 1000) {
            minuteur->stop();
            minuteur->deleteLater();
            if (modale)
                modale->close();
        }
    });
    minuteur->start(10);
}

// A program folder of its own and a dialog recorder, fresh for each test function: a test
// class derives from QObject and from this, and calls monterBanc() / demonterBanc() from
// its init() / cleanup() slots.
class BancFenetre
{
protected:
    void monterBanc()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        definirChemins(Chemins::depuisRepertoire(m_dir->path()));
        m_dialogues = std::make_unique<DialoguesEnregistres>();
    }

    void demonterBanc()
    {
        m_dialogues.reset();
        m_dir.reset();
    }

    static void montrer(QWidget &f)
    {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DialoguesEnregistres> m_dialogues;
};

// The test program's main: the same start-up as the program's (French locale and translation,
// style), then the test class. Each test then lays out its own program directory.
#define HALVENOR_TEST_MAIN(Classe)                                                                 \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        demarrer(app, QDir::tempPath());                                                           \
        Classe tc;                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
