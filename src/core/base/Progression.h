#pragma once

// How a long action reports its progress: the window moves a progress bar and
// lets pending events run; the command line draws on a terminal or stays silent.
class Progression
{
public:
    virtual ~Progression() = default;
    virtual void definirPosition(int position) = 0;
    virtual void definirMaximum(int maximum) = 0;
    virtual int maximum() const = 0;
    virtual void avancer() = 0;           // one step of 1
    virtual void traiterEvenements() = 0; // let the user interface breathe
};

// Progress that goes nowhere (tests, batch runs).
class ProgressionMuette : public Progression
{
public:
    void definirPosition(int p) override { m_position = p; }
    void definirMaximum(int m) override { m_maximum = m; }
    int maximum() const override { return m_maximum; }
    void avancer() override { ++m_position; }
    void traiterEvenements() override {}
    int position() const { return m_position; }

private:
    int m_position = 0;
    int m_maximum = 0;
};
