#pragma once
// Answering modal windows from a test: the answer is queued before the window opens and runs
// once the window's own event loop is up.

#include <QWidget>

#include <functional>

namespace testing {

// Once a modal window is up, runs `answer` on it; retried for a while until one appears.
void when_modal(std::function<void(QWidget*)> answer);

// Presses Return in the next modal window.
void press_return_in_modal();

} // namespace testing
