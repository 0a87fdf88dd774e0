#pragma once
// Runs the calling thread at the lowest priority the platform gives a
// thread while the guard lives (on Linux the thread's own nice value:
// QThread priorities change nothing there), then restores what it can.

class PstLowestThreadPriority {
public:
    PstLowestThreadPriority();
    ~PstLowestThreadPriority();
    PstLowestThreadPriority(const PstLowestThreadPriority&) = delete;
    PstLowestThreadPriority& operator=(const PstLowestThreadPriority&) = delete;

private:
    int m_previous = 0;
    bool m_changed = false;
};
