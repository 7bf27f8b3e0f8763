#pragma once

#include "desktop/DesktopProbes.h"
#include "desktop/ScreenSource.h"
#include "geometry/Rect.h"
#include "geometry/ScreenGeometry.h"
#include "panel/DropPanel.h"
#include "panel/PanelContentContainer.h"
#include "panel/PresentationPolicy.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWindow;

namespace brindlewick {

// Shows and hides one drop panel at the top edge of a display, tucked under the camera
// housing where there is one, without activating the application and without taking
// keyboard focus unless asked to. It decides whether a presentation may happen for the
// request that asked for it and records the outcome in lastDecision ("suppressed: …",
// "dismissed: …", "ordered …"), animates the panel open out of a small notch-sized frame and
// closed back into it, reports presses outside the panel, and follows the desktop: display
// changes, workspace and active-application changes, sleep and wake, the front application's
// full screen, and the motion and contrast settings.
//
// All rectangles and points are global points with y growing upward (maxY is a top edge).
// Main thread only. Every connection to the desktop uses the controller as its context, so
// it ends with the controller; the actions it hands out hold it weakly.
class PanelController final : public QObject {
  Q_OBJECT

public:
  enum class Phase { hidden, presenting, visible, dismissing };
  Q_ENUM(Phase)

  // A running opening or closing animation.
  struct Transition {
    Rect from;
    Rect to;
    double fromAlpha = 1; // content opacity when it started
    bool opening = true;
    double startedAt = 0; // seconds on the frame clock
  };

  // `screens` and the probes must outlive the controller.
  PanelController(const ScreenSource& screens, const DesktopProbes& probes, QObject* parent = nullptr);
  ~PanelController() override;

  DropPanel& panel() const { return *panel_; }
  PanelContentContainer& container() const { return *container_; }

  Phase phase() const { return phase_; }
  // The request the panel is shown for; absent while hidden.
  std::optional<PresentationRequest> request() const { return request_; }
  // The outcome of the last decision, for diagnostics; "not requested" at first.
  const QString& lastDecision() const { return lastDecision_; }

  // Run each time a dismissal completes (the panel left the screen).
  void setOnDismiss(std::function<void()> action) { onDismiss_ = std::move(action); }
  // Run for a mouse press outside the visible panel. Must be set before show to take effect.
  void setOnOutsideClick(std::function<void()> action) { onOutsideClick_ = std::move(action); }
  // Display number to present on; absent means the automatic choice.
  std::optional<quint32> preferredDisplayID() const { return preferredDisplayID_; }
  void setPreferredDisplayID(std::optional<quint32> id) { preferredDisplayID_ = id; }
  // The requested content size; its height is a minimum when contentHeight is set.
  QSizeF contentSize() const { return contentSize_; }
  void setContentSize(QSizeF size) { contentSize_ = size; }
  // Measures the content's fitting height for a content width.
  void setContentHeight(std::function<double(double)> measure) { contentHeight_ = std::move(measure); }
  // Open and close at full panel width (a top-down reveal) instead of from the notch's width.
  bool revealsVertically() const { return revealsVertically_; }
  void setRevealsVertically(bool vertical) { revealsVertically_ = vertical; }
  // Colours of the panel's edge highlight; absent means no rim.
  const std::optional<EdgeColors>& previewEdgeColors() const { return previewEdgeColors_; }
  void setPreviewEdgeColors(const std::optional<EdgeColors>& colors);

  // Presents the panel, growing it out of `from` when that sits at the panel's top centre.
  // True when the panel was put on screen; false when the request was suppressed (or the
  // panel's display went away before it could open).
  bool show(PresentationRequest request, bool animated = true, std::optional<Rect> from = std::nullopt);
  // Hides the panel, shrinking it into `to` when that sits at the panel's top centre.
  void dismiss(bool animated = true, std::optional<Rect> to = std::nullopt);
  // Hosts `view` in the panel; the panel takes ownership and deletes the previous view.
  void setContent(QWidget* view);
  // Lets the visible panel take keyboard focus.
  void focusForKeyboard();
  // The outside-press test for a point in global points; fed by the press monitor.
  void handlePointerDown(QPointF point);
  // Lays out a visible panel again, optionally switching its request.
  void refreshLayout(std::optional<PresentationRequest> request = std::nullopt);

  // The collection behaviour given at the last presentation (PresentationPolicy).
  quint64 collectionBehavior() const { return collectionBehavior_; }
  // The small frame the panel opens from and closes into, from the last layout pass.
  const Rect& originFrame() const { return originFrame_; }
  // The panel's frame as last set, in global points.
  const Rect& panelFrame() const { return frame_; }
  const std::optional<Transition>& transition() const { return transition_; }
  bool isObservingOutsideClicks() const { return static_cast<bool>(pressConnection_); }

  // The plain panel frame, or the frame of the notch layout, on the display the panel would
  // use; absent without a display. Neither measures the content.
  static std::optional<Rect> targetFrame(const ScreenSource& screens, QSizeF size,
                                         std::optional<quint32> preferredDisplayID);
  static std::optional<Rect> targetLayoutFrame(const ScreenSource& screens, QSizeF size,
                                               std::optional<quint32> preferredDisplayID);
  // The preferred display when it is connected, else the automatic choice.
  static std::optional<ScreenGeometry> targetGeometry(const ScreenSource& screens,
                                                      std::optional<quint32> preferredDisplayID);
  // Whether a visible window of the list, or (depth first) one of its visible child
  // windows, contains the point. A hidden window is skipped together with its children.
  static bool containsPointer(QPointF point, const QList<QWindow*>& windows, const DesktopMapping& mapping);

Q_SIGNALS:
  void phaseChanged(brindlewick::PanelController::Phase phase);
  void requestChanged();
  void lastDecisionChanged(const QString& decision);

private:
  PanelLayout layoutFor(const ScreenGeometry& geometry) const;
  void applyLayout(const PanelLayout& layout);
  void setPhase(Phase phase);
  void setRequest(std::optional<PresentationRequest> request);
  void setLastDecision(const QString& decision);
  void setPanelFrame(const Rect& frame);
  bool isOnScreen() const;
  bool isKey() const;
  bool reduceMotion() const;
  quint64 presentationOptions() const;
  double hostedAlpha() const;

  void environmentChanged();
  void dismissForEnvironment();
  void accessibilityChanged();
  bool startTransition(const Rect& target, bool opening);
  void advanceTransition();
  void stopTransition();
  void finishDismissal();
  void observeOutsideClicks();
  void stopObservingOutsideClicks();

  const ScreenSource& screens_;
  DesktopProbes probes_;
  std::unique_ptr<DropPanel> panel_;
  PanelContentContainer* container_ = nullptr; // owned by the panel

  Phase phase_ = Phase::hidden;
  std::optional<PresentationRequest> request_;
  QString lastDecision_ = QStringLiteral("not requested");
  std::function<void()> onDismiss_;
  std::function<void()> onOutsideClick_;
  std::optional<quint32> preferredDisplayID_;
  QSizeF contentSize_{420, 196};
  std::function<double(double)> contentHeight_;
  bool revealsVertically_ = false;
  std::optional<EdgeColors> previewEdgeColors_;

  quint64 collectionBehavior_ = 0;
  Rect originFrame_;
  Rect frame_;
  std::optional<Transition> transition_;
  QMetaObject::Connection frameConnection_;
  QMetaObject::Connection pressConnection_;
};

} // namespace brindlewick
