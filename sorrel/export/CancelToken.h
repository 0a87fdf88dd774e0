#pragma once
// A cancellation flag shared between the thread that cancels and the work
// that checks it. Copies share one flag; once cancelled it stays cancelled.

#include <atomic>
#include <memory>

class CancelToken {
public:
    CancelToken() : m_flag(std::make_shared<std::atomic_bool>(false)) {}

    void cancel() const { m_flag->store(true); }
    bool isCancelled() const { return m_flag->load(); }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};
