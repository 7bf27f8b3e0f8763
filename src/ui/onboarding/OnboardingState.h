#pragma once

#include <QString>

namespace brindlewick {

// The first-run screen's own state: which of its two pages shows, and how the reader's
// actions and the browser's declines move between them. The sign-in itself lives in the
// model; this decides only the page and whether an action cancels the sign-in.
class OnboardingState {
public:
  enum class Page { welcome, signIn };
  static constexpr int pageCount = 2;

  enum class Event {
    getStarted, // "Get started" or Return, on the welcome page
    back,       // "Back": the sign-in goes on
    notNow,     // "Not now": cancels the sign-in, back to welcome
    cancel,     // "Cancel" beside a pending code: cancels, stays
  };

  // Starts on the welcome page; `declined` is the model's decline counter as the screen
  // first shows, which moves nothing.
  explicit OnboardingState(int declined) : m_declined(declined) {}

  Page page() const { return m_page; }
  // Moves for `event` when it applies to the current page; returns whether the model's
  // sign-in is to be cancelled. An event of another page changes nothing.
  bool apply(Event event);
  // The model's decline counter now: a value other than the last one seen returns to the
  // welcome page. Returns whether the page changed.
  bool declinedChanged(int declined);

  // "Step 1 of 2".
  QString stepLabel() const;
  // An eight-character code as two groups of four joined by an en dash; any other code as
  // it came. Only for the eye: a copy gives the code itself.
  static QString displayedCode(const QString& code);

private:
  Page m_page = Page::welcome;
  int m_declined;
};

} // namespace brindlewick
