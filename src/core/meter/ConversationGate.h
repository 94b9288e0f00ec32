#pragma once
// One conversation with the meter at a time per window. A second one is refused rather than
// nested inside the wait of the first; what the window was asked to do meanwhile (Quit, a
// close) cancels the wait and is carried out once the conversation has unwound.
#include <functional>
#include <memory>

namespace kelotari {

class ConversationGate {
public:
    ConversationGate() = default;
    ConversationGate(const ConversationGate&) = delete;
    ConversationGate& operator=(const ConversationGate&) = delete;
    ~ConversationGate() { *m_alive = false; }

    bool busy() const { return m_busy; }

    // Marks a conversation as under way; `cancel` ends its wait. False (nothing changed) when
    // one is under way already.
    bool begin(std::function<void()> cancel = {});
    // Marks it ended, then carries out what was deferred until then (and forgets it).
    void end();
    // begin, body, end: the end also when body throws (the failure goes on). False, with body
    // not run, when a conversation is under way. When the gate's owner is destroyed inside
    // body, nothing is touched afterwards.
    bool run(const std::function<void()>& body, std::function<void()> cancel = {});

    // Ends the wait of the conversation under way, if any.
    void cancel();
    // Carries out `after` once the conversation under way has ended; the last one asked for
    // wins. Outside a conversation it is carried out at once.
    void deferUntilEnd(std::function<void()> after);

private:
    bool m_busy = false;
    std::function<void()> m_cancel;
    std::function<void()> m_after;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace kelotari
