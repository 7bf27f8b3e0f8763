#pragma once

#include "ui/onboarding/OnboardingState.h"

#include <QPointer>
#include <QWidget>

class QVariantAnimation;

namespace brindlewick {

class DeviceCodeLabel;
class DropButton;
class DropNotice;
class FullBleedWindow;
class OnboardingBackdrop;
class OnboardingStepIndicator;
class ReaderModel;
class TitlebarArea;
class TurnTakingLayout;

// The first-run screen the reader window lays over everything until a session is stored: a
// welcome page, then the browser sign-in, always dark, edge to edge over the sky backdrop.
// It has no control that dismisses it: signing in is what ends it. Every action calls the
// model; the screen keeps only its page (OnboardingState).
class OnboardingView : public QWidget {
  Q_OBJECT

public:
  static constexpr qreal slideDistance = 24;

  explicit OnboardingView(ReaderModel& model, QWidget* parent = nullptr);
  ~OnboardingView() override;

  OnboardingState::Page page() const { return m_state.page(); }
  // The page on show, and the one leaving while a change runs.
  QWidget* pageWidget(OnboardingState::Page page) const;
  bool transitionRunning() const;
  DeviceCodeLabel* codeLabel() const { return m_code; }
  FullBleedWindow* fullBleed() const { return m_fullBleed; }

protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  QWidget* buildWelcome();
  QWidget* buildSignIn();
  QWidget* buildFooter();
  void act(OnboardingState::Event event);
  void showPage(OnboardingState::Page from);
  // Ends the page transition, if one runs: the page that left is hidden, the one that came
  // stands in its place, neither keeps a fading effect.
  void settleTransition();
  void refresh();
  // The control the keyboard starts from on `page`.
  QWidget* firstControl(OnboardingState::Page page) const;
  void placeLayers();

  ReaderModel& m_model;
  OnboardingState m_state;
  OnboardingBackdrop* m_backdrop;
  QWidget* m_content;
  QWidget* m_pageArea = nullptr;
  QWidget* m_welcome = nullptr;
  QWidget* m_signIn = nullptr;
  TitlebarArea* m_titlebar;
  FullBleedWindow* m_fullBleed;

  DropButton* m_back = nullptr;
  DropButton* m_next = nullptr;
  DropButton* m_notNow = nullptr;
  OnboardingStepIndicator* m_steps = nullptr;

  TurnTakingLayout* m_slot = nullptr;
  QWidget* m_startBlock = nullptr;
  DropButton* m_continue = nullptr;
  QPointer<DropButton> m_openBrowser;
  // The reader used the sign-in slot from the keyboard: focus follows its turn.
  bool m_slotKeepsFocus = false;
  QWidget* m_codeBlock = nullptr;
  DeviceCodeLabel* m_code = nullptr;
  QWidget* m_connecting = nullptr;
  QWidget* m_startConnecting = nullptr;
  DropNotice* m_message = nullptr;
  DropNotice* m_noService = nullptr;

  QPointer<QVariantAnimation> m_transition;
  QPointer<QWidget> m_incoming;
  QPointer<QWidget> m_outgoing;
};

} // namespace brindlewick
