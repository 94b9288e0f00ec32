#include "meter/ConversationGate.h"

#include <utility>

namespace kelotari {

bool ConversationGate::begin(std::function<void()> cancel) {
    if (m_busy)
        return false;
    m_busy = true;
    m_cancel = std::move(cancel);
    return true;
}

void ConversationGate::end() {
    m_busy = false;
    m_cancel = nullptr;
    if (auto after = std::exchange(m_after, nullptr))
        after();
}

bool ConversationGate::run(const std::function<void()>& body, std::function<void()> cancel) {
    if (!begin(std::move(cancel)))
        return false;
    const std::weak_ptr<bool> alive = m_alive;
    auto finish = [&] {
        if (const auto a = alive.lock(); a && *a)
            end();
    };
    try {
        body();
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return true;
}

void ConversationGate::cancel() {
    if (m_cancel)
        m_cancel();
}

void ConversationGate::deferUntilEnd(std::function<void()> after) {
    if (!m_busy) {
        if (after)
            after();
        return;
    }
    m_after = std::move(after);
}

} // namespace kelotari
