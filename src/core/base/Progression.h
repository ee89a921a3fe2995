#pragma once

#include <atomic>

// How a long action reports its progress: the window's bar reads it from the GUI thread,
// the command line draws on a terminal or stays silent.
class Progression
{
public:
    virtual ~Progression() = default;
    virtual void definirPosition(int position) = 0;
    virtual void definirMaximum(int maximum) = 0;
    virtual int maximum() const = 0;
    virtual void avancer() = 0;           // one step of 1
};

// Progress that goes nowhere (tests, batch runs).
class ProgressionMuette : public Progression
{
public:
    void definirPosition(int p) override { m_position = p; }
    void definirMaximum(int m) override { m_maximum = m; }
    int maximum() const override { return m_maximum; }
    void avancer() override { ++m_position; }
    int position() const { return m_position; }

private:
    int m_position = 0;
    int m_maximum = 0;
};

// Progress written by a worker thread and read by the window's timer: no call crosses threads.
class ProgressionPartagee : public Progression
{
public:
    void definirPosition(int p) override { m_position.store(p, std::memory_order_relaxed); }
    void definirMaximum(int m) override { m_maximum.store(m, std::memory_order_relaxed); }
    int maximum() const override { return m_maximum.load(std::memory_order_relaxed); }
    // Only the worker writes: a plain load and store is enough, and cheaper than an increment.
    void avancer() override { m_position.store(m_position.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
    int position() const { return m_position.load(std::memory_order_relaxed); }

private:
    std::atomic<int> m_position{0};
    std::atomic<int> m_maximum{0};
};
