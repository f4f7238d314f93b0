#pragma once
// Answering modal windows from a test. The answer is queued before the window opens; it runs
// only once the window is the active modal widget and its own event loop is running, since an
// answer given while the window is still being shown is lost and leaves it hanging. The answer
// is repeated until the window has closed.

#include <QWidget>

#include <functional>

namespace testing {

// Answers the next modal window for which `answer` returns true (false: not the one meant).
void answer_modal(std::function<bool(QWidget*)> answer);

// Answers the next modal window of class W.
template <class W> void when_modal(std::function<void(W*)> answer)
{
    answer_modal([answer](QWidget* w) {
        W* typed = qobject_cast<W*>(w);
        if (typed)
            answer(typed);
        return typed != nullptr;
    });
}

// Presses Return in the next modal window.
void press_return_in_modal();

} // namespace testing
