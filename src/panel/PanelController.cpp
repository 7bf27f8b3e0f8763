#include "panel/PanelController.h"

#include "desktop/FrameClock.h"
#include "panel/FixturePanel.h"
#include "panel/PanelMotion.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

// The fade of the content within an opening: it waits for the first 15 % of the movement
// and is complete at 80 %.
constexpr double kFadeDelay = 0.15;
constexpr double kFadeSpan = 0.65;

// The refresh rate of the connected display called `name`; 0 (the ticker's default) when
// Qt does not know it, as for a simulated display.
double refreshRateOf(const QString& name) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->name() == name) {
      return screen->refreshRate();
    }
  }
  return 0;
}

// The windows that belong to `window`: the top-level windows Qt keeps as its transients
// (menus, pop-ups, tool tips opened from the panel's content).
QList<QWindow*> childWindowsOf(const QWindow* window) {
  QList<QWindow*> children;
  if (window == nullptr) {
    return children;
  }
  for (QWindow* candidate : QGuiApplication::allWindows()) {
    if (candidate != window && candidate->transientParent() == window) {
      children.append(candidate);
    }
  }
  return children;
}

} // namespace

PanelController::PanelController(const ScreenSource& screens, const DesktopProbes& probes, QObject* parent)
    : QObject(parent), screens_(screens), probes_(probes) {
  Q_ASSERT(probes_.clock != nullptr && probes_.events != nullptr && probes_.fullScreen != nullptr &&
           probes_.accessibility != nullptr);
  panel_ = std::make_unique<DropPanel>();
  container_ = new PanelContentContainer(probes_.clock, probes_.accessibility);
  panel_->setContentView(container_);

  // Both actions hold the controller weakly: once it is gone they do nothing.
  QPointer<PanelController> self = this;
  const auto dismissAnimated = [self] {
    if (self != nullptr) {
      self->dismiss(true, std::nullopt);
    }
  };
  setContent(new FixturePanel(dismissAnimated));
  panel_->setOnEscape(dismissAnimated);

  SystemEvents* events = probes_.events;
  connect(events, &SystemEvents::screensChanged, this, &PanelController::environmentChanged);
  connect(events, &SystemEvents::activeSpaceChanged, this, &PanelController::environmentChanged);
  connect(events, &SystemEvents::activeApplicationChanged, this, &PanelController::environmentChanged);
  connect(events, &SystemEvents::didWake, this, &PanelController::environmentChanged);
  // The full-screen report may come in the middle of another component's work; it is looked
  // at once control returns to the event loop.
  connect(events, &SystemEvents::frontFullScreenChanged, this, &PanelController::environmentChanged,
          Qt::QueuedConnection);
  connect(events, &SystemEvents::willSleep, this, &PanelController::dismissForEnvironment);
  connect(events, &SystemEvents::screensDidSleep, this, &PanelController::dismissForEnvironment);
  connect(probes_.accessibility, &AccessibilitySettings::reduceMotionChanged, this,
          &PanelController::accessibilityChanged);
  connect(probes_.accessibility, &AccessibilitySettings::increaseContrastChanged, this,
          &PanelController::accessibilityChanged);
}

PanelController::~PanelController() {
  stopTransition();
  stopObservingOutsideClicks();
}

void PanelController::setPreviewEdgeColors(const std::optional<EdgeColors>& colors) {
  previewEdgeColors_ = colors;
  container_->setEdgeColors(colors);
}

// ---- Decisions ------------------------------------------------------------------------------

bool PanelController::show(PresentationRequest request, bool animated, std::optional<Rect> from) {
  if (request == PresentationRequest::automaticProbe && isOnScreen()) {
    setLastDecision(QStringLiteral("suppressed: panel already visible"));
    return false;
  }
  if (!PresentationPolicy::allows(request, presentationOptions())) {
    setLastDecision(QStringLiteral("suppressed: active app reports fullScreen"));
    return false;
  }
  const std::optional<ScreenGeometry> geometry = targetGeometry(screens_, preferredDisplayID_);
  if (!geometry) {
    setLastDecision(QStringLiteral("suppressed: no screen"));
    return false;
  }

  const PanelLayout layout = layoutFor(*geometry);
  const bool onScreen = isOnScreen();
  const bool wasShown = onScreen && phase_ != Phase::dismissing;
  const Rect current = frame_;
  // A panel that is still closing where the new one would go reopens from where it is.
  const bool resuming = phase_ == Phase::dismissing && onScreen && current.maxY() == layout.frame.maxY() &&
                        current.midX() == layout.frame.midX();
  const double keptAlpha = hostedAlpha();

  stopTransition();
  setRequest(request);
  applyLayout(layout);
  panel_->setAcceptsKeyboardFocus(wasShown && isKey());
  collectionBehavior_ = PresentationPolicy::collectionBehavior(request);

  const bool animate = animated && !wasShown && !reduceMotion();
  Rect start = layout.frame;
  if (animate) {
    start = resuming ? current : PanelMotion::presentationOrigin(layout.frame, from, originFrame_);
  }
  setPanelFrame(start);
  panel_->setWindowOpacity(1);
  container_->setContentOpacity(animate ? (resuming ? keptAlpha : 0) : 1);

  setPhase(animate ? Phase::presenting : Phase::visible);
  panel_->show(); // the panel shows without activating
  panel_->raise();
  container_->setEdgeVisible(true);
  observeOutsideClicks();

  // Without a display for the animation the panel has been taken down again already (with
  // its own decision text and onDismiss): that is no successful presentation.
  if (animate && !startTransition(layout.frame, true)) {
    return false;
  }
  setLastDecision(QStringLiteral("ordered ") + rawValue(request));
  return true;
}

void PanelController::dismiss(bool animated, std::optional<Rect> to) {
  container_->setEdgeVisible(false); // stops the rim at once
  stopTransition();
  stopObservingOutsideClicks();

  if (!isOnScreen()) {
    setPhase(Phase::hidden);
    setRequest(std::nullopt);
    return;
  }
  panel_->setAcceptsKeyboardFocus(false);
  if (animated && !reduceMotion()) {
    setPhase(Phase::dismissing);
    startTransition(PanelMotion::presentationOrigin(frame_, to, originFrame_), false);
  } else {
    finishDismissal();
  }
}

void PanelController::dismissForEnvironment() {
  dismiss(false, std::nullopt);
}

void PanelController::finishDismissal() {
  stopTransition();
  stopObservingOutsideClicks();
  panel_->hide();
  setPhase(Phase::hidden);
  setRequest(std::nullopt);
  container_->setContentOpacity(1);
  if (onDismiss_) {
    const std::function<void()> action = onDismiss_; // the action may replace itself
    action();
  }
}

void PanelController::environmentChanged() {
  if (!isOnScreen() || !request_) {
    return;
  }
  if (phase_ == Phase::dismissing) {
    dismiss(false, std::nullopt);
    return;
  }
  if (!PresentationPolicy::allows(*request_, presentationOptions())) {
    setLastDecision(QStringLiteral("dismissed: active app reports fullScreen"));
    dismiss(false, std::nullopt);
    return;
  }
  const std::optional<ScreenGeometry> geometry = targetGeometry(screens_, preferredDisplayID_);
  if (!geometry) {
    dismiss(false, std::nullopt);
    return;
  }
  const PanelLayout layout = layoutFor(*geometry);
  if (phase_ == Phase::presenting && transition_ && transition_->to == layout.frame) {
    return; // the opening already heads for the right place
  }
  stopTransition();
  applyLayout(layout);
  container_->setContentOpacity(1);
  setPanelFrame(layout.frame);
  setPhase(Phase::visible);
}

void PanelController::accessibilityChanged() {
  container_->layoutContent();
}

void PanelController::refreshLayout(std::optional<PresentationRequest> request) {
  if (!isOnScreen()) {
    return;
  }
  if (request) {
    setRequest(request);
    collectionBehavior_ = PresentationPolicy::collectionBehavior(*request);
  }
  environmentChanged();
}

void PanelController::focusForKeyboard() {
  if (!isOnScreen()) {
    return;
  }
  panel_->setAcceptsKeyboardFocus(true);
  panel_->activateWindow();
}

void PanelController::setContent(QWidget* view) {
  container_->setContent(view);
}

// ---- Layout ---------------------------------------------------------------------------------

PanelLayout PanelController::layoutFor(const ScreenGeometry& geometry) const {
  PanelLayout layout = geometry.panelLayout(contentSize_);
  if (contentHeight_) {
    const double measured = contentHeight_(layout.contentFrame.width);
    const double height =
        std::isnan(measured) ? contentSize_.height() : std::max(contentSize_.height(), measured);
    layout = geometry.panelLayout(QSizeF(contentSize_.width(), height));
  }
  return layout;
}

void PanelController::applyLayout(const PanelLayout& layout) {
  const std::optional<double> notchHeight =
      layout.notchWidth ? std::optional<double>(layout.topInset()) : std::nullopt;
  originFrame_ = PanelMotion::originFrame(layout.frame, layout.notchWidth, notchHeight, revealsVertically_);
  container_->setContentSize(layout.contentFrame.size());
  container_->setTopInset(layout.topInset());
  container_->setNotchWidth(layout.notchWidth);
}

void PanelController::setPanelFrame(const Rect& frame) {
  frame_ = frame;
  panel_->setGeometry(screens_.mapping().toDesktop(frame).toRect());
}

std::optional<ScreenGeometry> PanelController::targetGeometry(const ScreenSource& screens,
                                                              std::optional<quint32> preferredDisplayID) {
  const QList<ScreenDescription> descriptions = screens.screens();
  if (preferredDisplayID) {
    for (const ScreenDescription& screen : descriptions) {
      if (screen.displayId == preferredDisplayID) {
        return screen.geometry;
      }
    }
  }
  const QList<ScreenGeometry> geometries = screens.geometries();
  const std::optional<qsizetype> index = ScreenGeometry::preferredIndex(geometries, screens.mainIndex());
  if (!index) {
    return std::nullopt;
  }
  return geometries.at(*index);
}

std::optional<Rect> PanelController::targetFrame(const ScreenSource& screens, QSizeF size,
                                                 std::optional<quint32> preferredDisplayID) {
  const std::optional<ScreenGeometry> geometry = targetGeometry(screens, preferredDisplayID);
  if (!geometry) {
    return std::nullopt;
  }
  return geometry->panelFrame(size);
}

std::optional<Rect> PanelController::targetLayoutFrame(const ScreenSource& screens, QSizeF size,
                                                       std::optional<quint32> preferredDisplayID) {
  const std::optional<ScreenGeometry> geometry = targetGeometry(screens, preferredDisplayID);
  if (!geometry) {
    return std::nullopt;
  }
  return geometry->panelLayout(size).frame;
}

// ---- Transitions ----------------------------------------------------------------------------

bool PanelController::startTransition(const Rect& target, bool opening) {
  stopTransition();
  transition_ = Transition{frame_, target, hostedAlpha(), opening, probes_.clock->now()};

  const QList<ScreenDescription> descriptions = screens_.screens();
  const auto display =
      std::find_if(descriptions.cbegin(), descriptions.cend(),
                   [&target](const auto& screen) { return screen.geometry.frame().contains(target); });
  if (display == descriptions.cend()) {
    setLastDecision(QStringLiteral("dismissed: animation display disconnected"));
    finishDismissal();
    return false;
  }
  probes_.clock->setFrameRate(refreshRateOf(display->name));
  frameConnection_ = connect(probes_.clock, &FrameClock::frame, this, &PanelController::advanceTransition);
  probes_.clock->requestFrames();
  return true;
}

void PanelController::stopTransition() {
  if (frameConnection_) {
    disconnect(frameConnection_);
    frameConnection_ = {};
    probes_.clock->releaseFrames();
  }
  transition_.reset();
}

void PanelController::advanceTransition() {
  if (!transition_) {
    return;
  }
  const Transition transition = *transition_;
  double progress = 1;
  if (!reduceMotion()) {
    progress =
        (probes_.clock->now() - transition.startedAt) / PanelMotion::duration(transition.opening, false);
    if (!(progress >= 0)) {
      progress = 0;
    }
    progress = std::min(progress, 1.0);
  }
  setPanelFrame(PanelMotion::frame(transition.from, transition.to, progress, transition.opening));
  container_->layoutContent();

  double alpha = transition.fromAlpha * (1 - progress);
  if (transition.opening) {
    const double fade = std::clamp((progress - kFadeDelay) / kFadeSpan, 0.0, 1.0);
    alpha = transition.fromAlpha + (1 - transition.fromAlpha) * fade;
  }
  if (container_->hosted() != nullptr) {
    container_->setContentOpacity(alpha);
  }

  if (progress >= 1) {
    stopTransition();
    if (transition.opening) {
      setPhase(Phase::visible);
    } else {
      finishDismissal();
    }
  }
}

// ---- Outside presses ------------------------------------------------------------------------

void PanelController::observeOutsideClicks() {
  if (!onOutsideClick_ || pressConnection_ || probes_.outsidePresses == nullptr) {
    return;
  }
  pressConnection_ =
      connect(probes_.outsidePresses, &OutsidePressMonitor::pressed, this,
              [this](QPointF desktop) { handlePointerDown(screens_.mapping().pointToGlobal(desktop)); });
  probes_.outsidePresses->startWatching();
}

void PanelController::stopObservingOutsideClicks() {
  if (pressConnection_) {
    disconnect(pressConnection_);
    pressConnection_ = {};
    probes_.outsidePresses->stopWatching();
  }
}

void PanelController::handlePointerDown(QPointF point) {
  if (!isOnScreen() || phase_ == Phase::dismissing || frame_.contains(point)) {
    return;
  }
  if (containsPointer(point, childWindowsOf(panel_->windowHandle()), screens_.mapping())) {
    return;
  }
  if (onOutsideClick_) {
    const std::function<void()> action = onOutsideClick_;
    action();
  }
}

bool PanelController::containsPointer(QPointF point, const QList<QWindow*>& windows,
                                      const DesktopMapping& mapping) {
  for (QWindow* window : windows) {
    if (window == nullptr || !window->isVisible()) {
      continue;
    }
    if (mapping.toGlobal(QRectF(window->geometry())).contains(point)) {
      return true;
    }
    if (containsPointer(point, childWindowsOf(window), mapping)) {
      return true;
    }
  }
  return false;
}

// ---- State ----------------------------------------------------------------------------------

void PanelController::setPhase(Phase phase) {
  if (phase_ != phase) {
    phase_ = phase;
    Q_EMIT phaseChanged(phase);
  }
}

void PanelController::setRequest(std::optional<PresentationRequest> request) {
  if (request_ != request) {
    request_ = request;
    Q_EMIT requestChanged();
  }
}

void PanelController::setLastDecision(const QString& decision) {
  if (lastDecision_ != decision) {
    lastDecision_ = decision;
    Q_EMIT lastDecisionChanged(decision);
  }
}

bool PanelController::isOnScreen() const {
  return panel_->isVisible();
}

bool PanelController::isKey() const {
  return panel_->isActiveWindow();
}

bool PanelController::reduceMotion() const {
  return probes_.accessibility->reduceMotion();
}

quint64 PanelController::presentationOptions() const {
  return probes_.fullScreen->frontApplicationIsFullScreen() ? PresentationOptions::fullScreen : 0;
}

double PanelController::hostedAlpha() const {
  return container_->hosted() != nullptr ? container_->contentOpacity() : 1;
}

} // namespace brindlewick
