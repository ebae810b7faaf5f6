#pragma once

#include <QList>

#include <deque>
#include <optional>

namespace dorvane {

// The seam of a dialog that asks for something: tests queue its answers in
// advance, so that it never opens under a test, and read what it proposed.
// One per dialog, each a function-local static of the dialog's own file.
template <typename Answer, typename Proposed = Answer> class ScriptedAnswers {
public:
    // Whether the answer comes from here instead of the dialog: one is
    // queued, or tests said that no dialog may open.
    bool answersInstead() const { return !m_answers.empty() || m_headless; }
    // The next queued answer, noting what the dialog would have proposed;
    // none (cancelled) when nothing is queued.
    std::optional<Answer> take(const Proposed& proposed) {
        m_proposed.append(proposed);
        if (m_answers.empty())
            return std::nullopt;
        Answer answer = std::move(m_answers.front());
        m_answers.pop_front();
        return answer;
    }

    void queue(const Answer& answer) { m_answers.push_back(answer); }
    void setHeadless(bool headless) { m_headless = headless; }
    const QList<Proposed>& proposed() const { return m_proposed; }
    void clearProposed() { m_proposed.clear(); }

private:
    std::deque<Answer> m_answers;
    bool m_headless = false;
    QList<Proposed> m_proposed;
};

} // namespace dorvane
