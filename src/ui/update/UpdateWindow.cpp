#include "ui/update/UpdateWindow.h"

#include "desktop/ScreenSource.h"
#include "desktop/X11WindowHints.h"
#include "ui/account/AccountText.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropSectionLabel.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/UiEnvironment.h"
#include "ui/update/UpdateProgressBar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

constexpr int windowWidth = 540;
constexpr int edge = 24;
constexpr int notesHeight = 160;

DropTextBlock* headlineBlock() {
  auto* block = new DropTextBlock;
  block->setTextStyle([](const UiTraits& traits) {
    return DropTextBlock::Style{DropFonts::display(20, traits.boldText ? QFont::Bold : QFont::DemiBold)};
  });
  block->setColor(AccountText::primary());
  return block;
}

DropTextBlock* bodyBlock() {
  auto* block = new DropTextBlock;
  block->setTextStyle(DropTextBlock::Style{DropFonts::rounded(DropFonts::bodySize)});
  block->setColor(AccountText::secondary());
  block->setLineSpacing(2);
  return block;
}

DropButton* button(const QString& title, const QString& name, bool prominent) {
  auto* made = new DropButton(title, dropControl({.prominent = prominent}));
  made->setObjectName(name);
  // Labels are never cut short: the window is wide enough for the three answers.
  made->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  return made;
}

// "1.2 MB of 4.0 MB": both in the unit of the whole, so the two read together.
QString progressText(qint64 received, qint64 total) {
  const QLocale locale;
  const qint64 scale = total >= 1000000000 ? 1000000000
                       : total >= 1000000  ? 1000000
                       : total >= 1000     ? 1000
                                           : 1;
  const QString unit = scale == 1000000000 ? u"GB"_s
                       : scale == 1000000  ? u"MB"_s
                       : scale == 1000     ? u"kB"_s
                                           : u"bytes"_s;
  const auto amount = [&](qint64 bytes) {
    return scale == 1 ? locale.toString(bytes) : locale.toString(double(bytes) / double(scale), 'f', 1);
  };
  return u"%1 %3 of %2 %3"_s.arg(amount(received), amount(total), unit);
}

// What the reader does with a kept update depends on what it is: a Debian package is for the
// package manager, a release archive is unpacked by hand (its copy then updates itself). A build
// tree is no install either, so the window says where this copy runs from, not where it is
// installed.
QString handOffDetail(const QString& kept, bool opened) {
  const QString lead = u"This copy of Brindlewick cannot replace itself where it runs from. "_s;
  if (kept.endsWith(u".deb"_s)) {
    return lead + (opened
                       ? u"The update is kept at %1 and was opened with this computer's installer for it."_s
                       : u"The update is kept at %1: no installer on this computer opened it, so open it "
                         u"with your software installer or package manager."_s)
                      .arg(kept);
  }
  const QString unpack =
      u" Unpack it where you keep your programs and start bin/brindlewick in the folder it "
      u"makes: that copy updates itself."_s;
  return lead +
         (opened ? u"The update is kept at %1 and was opened with the program this computer uses for it."_s
                 : u"The update is kept at %1: no program on this computer opened it."_s)
             .arg(kept) +
         unpack;
}

} // namespace

UpdateWindow::UpdateWindow(FeedUpdater& updater) : UpdateWindow(updater, Surroundings{}) {}

UpdateWindow::UpdateWindow(FeedUpdater& updater, Surroundings surroundings)
    : QWidget(nullptr, Qt::Window), m_updater(updater), m_surroundings(std::move(surroundings)) {
  setObjectName(u"update.window"_s);
  setWindowTitle(u"Software Update"_s);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedWidth(windowWidth);
  UiEnvironment::repaintOnChange(this);

  m_pages = new QStackedWidget;
  buildOffer();
  buildProgress();
  buildMessage();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(edge, edge, edge, edge - 6);
  layout->addWidget(m_pages);

  connect(&m_updater, &FeedUpdater::offered, this, &UpdateWindow::offer);
  connect(&m_updater, &FeedUpdater::answered, this, [this](const QString& title, const QString& detail) {
    m_release.reset();
    showMessage(title, detail, u"OK"_s);
    present(true);
  });
  connect(&m_updater, &FeedUpdater::phaseChanged, this, &UpdateWindow::followPhase);
  connect(&m_updater, &FeedUpdater::downloadProgress, this, &UpdateWindow::showProgress);
  connect(&m_updater, &FeedUpdater::installed, this, &UpdateWindow::finishInstall);
  connect(&m_updater, &FeedUpdater::installFailed, this, [this](const QString& reason) {
    showMessage(FeedUpdater::installFailedTitle, reason, u"Close"_s);
  });
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::buildOffer() {
  m_offerPage = new QWidget;
  auto* layout = new QVBoxLayout(m_offerPage);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  m_offerTitle = headlineBlock();
  m_offerTitle->setObjectName(u"update.headline"_s);
  layout->addWidget(m_offerTitle);
  layout->addWidget(new DropSectionLabel(notesTitle));

  // The notes are the feed's plain text, never markup, and may be long: they scroll.
  m_notes = bodyBlock();
  m_notes->setObjectName(u"update.notes"_s);
  m_notes->setSelectable(true);
  m_notesScroll = new QScrollArea;
  m_notesScroll->setWidget(m_notes);
  m_notesScroll->setWidgetResizable(true);
  m_notesScroll->setFrameShape(QFrame::NoFrame);
  m_notesScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_notesScroll->setFixedHeight(notesHeight);
  // No Tab stop that would hold the focus and show nothing: Page Up and Page Down scroll the
  // notes from the buttons.
  m_notesScroll->setFocusPolicy(Qt::NoFocus);
  m_notesScroll->viewport()->setAutoFillBackground(false);
  m_notes->setAutoFillBackground(false);
  layout->addWidget(m_notesScroll);

  m_skip = button(u"Skip this version"_s, u"update.skip"_s, false);
  m_remind = button(u"Remind me later"_s, u"update.remind"_s, false);
  m_install = button(u"Install update"_s, u"update.install"_s, true);
  auto* row = new QHBoxLayout;
  row->addWidget(m_skip);
  row->addStretch(1);
  row->addWidget(m_remind);
  row->addWidget(m_install);
  layout->addLayout(row);

  connect(m_install, &QPushButton::clicked, this, [this] {
    if (m_release)
      m_updater.install(*m_release);
  });
  connect(m_remind, &QPushButton::clicked, this, [this] {
    m_release.reset();
    hide();
  });
  connect(m_skip, &QPushButton::clicked, this, [this] {
    if (m_release)
      m_updater.skip(*m_release);
    m_release.reset();
    hide();
  });
  m_pages->addWidget(m_offerPage);
}

void UpdateWindow::buildProgress() {
  m_progressPage = new QWidget;
  auto* layout = new QVBoxLayout(m_progressPage);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  m_progressTitle = headlineBlock();
  layout->addWidget(m_progressTitle);
  m_bar = new UpdateProgressBar;
  m_bar->setObjectName(u"update.progress"_s);
  layout->addWidget(m_bar);
  m_progressDetail = bodyBlock();
  m_progressDetail->setObjectName(u"update.progress.detail"_s);
  layout->addWidget(m_progressDetail);
  layout->addStretch(1);
  m_cancel = button(u"Cancel"_s, u"update.cancel"_s, false);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(m_cancel);
  layout->addLayout(row);
  connect(m_cancel, &QPushButton::clicked, &m_updater, &FeedUpdater::cancelInstall);
  m_pages->addWidget(m_progressPage);
}

void UpdateWindow::buildMessage() {
  m_messagePage = new QWidget;
  auto* layout = new QVBoxLayout(m_messagePage);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  m_messageTitle = headlineBlock();
  m_messageTitle->setObjectName(u"update.message.title"_s);
  layout->addWidget(m_messageTitle);
  m_messageDetail = bodyBlock();
  m_messageDetail->setObjectName(u"update.message.detail"_s);
  m_messageDetail->setSelectable(true);
  layout->addWidget(m_messageDetail);
  layout->addStretch(1);
  m_secondary = button(u"Later"_s, u"update.secondary"_s, false);
  m_primary = button(u"OK"_s, u"update.primary"_s, true);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(m_secondary);
  row->addWidget(m_primary);
  layout->addLayout(row);
  connect(m_primary, &QPushButton::clicked, this, &UpdateWindow::primaryPressed);
  connect(m_secondary, &QPushButton::clicked, this, &QWidget::hide);
  m_pages->addWidget(m_messagePage);
}

UpdateWindow::Page UpdateWindow::page() const {
  if (m_pages->currentWidget() == m_progressPage)
    return Page::progress;
  if (m_pages->currentWidget() == m_messagePage)
    return Page::message;
  return Page::offer;
}

QString UpdateWindow::headline() const {
  switch (page()) {
  case Page::offer: return m_offerTitle->text();
  case Page::progress: return m_progressTitle->text();
  case Page::message: return m_messageTitle->text();
  }
  return {};
}

DropButton* UpdateWindow::mainButton() const {
  switch (page()) {
  case Page::offer: return m_install;
  case Page::progress: return m_cancel;
  case Page::message: return m_primary;
  }
  return nullptr;
}

void UpdateWindow::turnTo(QWidget* page) {
  m_pages->setCurrentWidget(page);
  // The focus of the page before (or of an earlier showing) never carries over.
  m_focusPending = true;
  focusMainButtonWhenActive();
}

void UpdateWindow::focusMainButtonWhenActive() {
  if (!m_focusPending || !isVisible() || !isActiveWindow())
    return;
  m_focusPending = false;
  DropButton* button = mainButton();
  if (!button->isVisible() || !button->isEnabled())
    return;
  // Given afresh, so that its ring shows whatever focus it held before.
  if (button->hasFocus())
    button->clearFocus();
  // Ringed as if the keyboard brought it: the reader sees which button Return presses.
  button->setFocus(Qt::TabFocusReason);
}

void UpdateWindow::present(bool comeForward) {
  adjustSize();
  // A scheduled check must not take the keyboard from whatever the reader is typing into. Qt
  // hands the attribute to the native window only when it makes one, and this window is shown
  // both ways.
  setAttribute(Qt::WA_ShowWithoutActivating, !comeForward);
  if (QWindow* handle = windowHandle())
    handle->setProperty("_q_showWithoutActivating", !comeForward);
  // An answer the reader asked for opens over the window they asked in, even where a
  // scheduled offer stands elsewhere; a scheduled one where the reader works, rather than
  // wherever the window manager finds room (a corner, another monitor).
  if (comeForward || !isVisible())
    place(comeForward);
  if (!isVisible())
    show();
  followReaderWindow();
  if (comeForward) {
    raise();
    activateWindow();
  }
  // Shown again while still the active window, it is told of no activation.
  focusMainButtonWhenActive();
}

void UpdateWindow::followReaderWindow() {
  const QWidget* reader = m_surroundings.readerWindow ? m_surroundings.readerWindow() : nullptr;
  QWindow* readerHandle = reader != nullptr && reader != this ? reader->windowHandle() : nullptr;
  if (readerHandle != m_readerHandle) {
    if (m_readerHandle)
      disconnect(m_readerHandle, nullptr, this, nullptr);
    m_readerHandle = readerHandle;
    // Closed (hidden), the reader window leaves this one standing on its own; shown again or
    // brought back from the taskbar, it is followed again.
    if (readerHandle) {
      // Only the link is looked at again: the reader window may be on its way out (closed as
      // it is destroyed), past the point where it can be asked for.
      connect(readerHandle, &QWindow::visibleChanged, this, &UpdateWindow::linkToReaderWindow);
      connect(readerHandle, &QWindow::windowStateChanged, this, &UpdateWindow::linkToReaderWindow);
    }
  }
  linkToReaderWindow();
}

void UpdateWindow::linkToReaderWindow() {
  QWindow* handle = windowHandle();
  if (!handle || !isVisible())
    return;
  const bool readerShown = m_readerHandle && m_readerHandle->isVisible();
  // Minimized after the link was made, the reader window keeps it: the window manager takes
  // this one down with it and back, as it does a dialog. Shown while the reader window is
  // minimized, this one stands on its own until the reader window comes back.
  const bool readerMinimized = readerShown && m_readerHandle->windowStates().testFlag(Qt::WindowMinimized);
  QWindow* parent = readerShown && (!readerMinimized || handle->transientParent() == m_readerHandle)
                        ? m_readerHandle.data()
                        : nullptr;
  if (handle->transientParent() != parent)
    handle->setTransientParent(parent);
  // Qt tells the window manager of the link only for dialogs, and drops it from an ordinary
  // window at each showing.
  X11WindowHints::setTransientFor(*handle, parent);
}

void UpdateWindow::hideEvent(QHideEvent* event) {
  // The next showing links afresh, to whatever reader window is shown then.
  if (QWindow* handle = windowHandle(); handle && !event->spontaneous())
    handle->setTransientParent(nullptr);
  QWidget::hideEvent(event);
}

const QWidget* UpdateWindow::anchor(bool askedByReader) const {
  const auto open = [this](const QWidget* window) {
    return window != nullptr && window != this && window->isVisible() && !window->isMinimized();
  };
  // The reader asks in the reader window; when it has gone meanwhile, whichever of ours they
  // are in now.
  const QWidget* reader = m_surroundings.readerWindow ? m_surroundings.readerWindow() : nullptr;
  if (open(reader))
    return reader;
  const QWidget* active = QApplication::activeWindow();
  if (askedByReader && open(active))
    return active;
  return nullptr;
}

QRect UpdateWindow::workingArea() const {
  if (const ScreenSource* screens = m_surroundings.screens) {
    const QList<ScreenDescription> all = screens->screens();
    if (const std::optional<qsizetype> index = screens->mainIndex();
        index && *index >= 0 && *index < all.size())
      return screens->mapping().toDesktop(all.at(*index).geometry.usableFrame()).toAlignedRect();
  }
  const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

void UpdateWindow::place(bool askedByReader) {
  // Wrapping text may make it taller once shown: room is kept for the tallest it takes. Hidden
  // again, the window may be told of a placeholder frame (1×1) by the display server: its own
  // size is the least room it takes.
  const QRect frame = frameGeometry();
  const int height =
      std::max({frame.height(), this->height(), hasHeightForWidth() ? heightForWidth(width()) : 0});
  QRect placed(QPoint(), QSize(std::max(frame.width(), width()), height));
  QRect room;
  if (const QWidget* over = anchor(askedByReader)) {
    const QPoint centre = over->frameGeometry().center();
    placed.moveCenter(centre);
    // The display that holds the window now: the one Qt last named may lag behind a move.
    const QScreen* screen = QGuiApplication::screenAt(centre);
    if (!screen)
      screen = over->screen();
    if (screen)
      room = screen->availableGeometry();
  } else {
    room = workingArea();
    placed.moveCenter(room.center());
  }
  if (!room.isEmpty()) {
    placed.moveLeft(
        std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() - placed.width() + 1)));
    placed.moveTop(
        std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() - placed.height() + 1)));
  }
  move(placed.topLeft());
}

void UpdateWindow::offer(const UpdateRelease& release, bool askedByReader) {
  // An offer never interrupts a download under way.
  if (m_updater.phase() != FeedUpdater::Phase::idle)
    return;
  m_release = release;
  m_outcome.reset();
  m_offerTitle->setText(
      u"Brindlewick %1 is available — you have %2"_s.arg(release.version.text(), m_updater.runningVersion()));
  m_notes->setText(release.notes);
  m_notesScroll->verticalScrollBar()->setValue(0);
  turnTo(m_offerPage);
  present(askedByReader);
}

void UpdateWindow::showMessage(const QString& title, const QString& detail, const QString& primary,
                               const QString& secondary) {
  // A message says one thing: the main button of an earlier install's message restarts no more.
  m_outcome.reset();
  m_messageTitle->setText(title);
  m_messageDetail->setText(detail);
  m_primary->setText(primary);
  m_secondary->setText(secondary);
  m_secondary->setVisible(!secondary.isEmpty());
  turnTo(m_messagePage);
  adjustSize();
}

void UpdateWindow::followPhase() {
  const QString version = m_release ? m_release->version.text() : QString();
  switch (m_updater.phase()) {
  case FeedUpdater::Phase::idle:
    // A cancelled download goes back to the offer; an ending of its own says so next.
    if (page() == Page::progress)
      turnTo(m_offerPage);
    return;
  case FeedUpdater::Phase::checking: return;
  case FeedUpdater::Phase::downloading:
    m_progressTitle->setText(u"Downloading Brindlewick %1…"_s.arg(version));
    showProgress(0, m_release ? m_release->length : -1);
    m_cancel->setEnabled(true);
    break;
  case FeedUpdater::Phase::verifying:
    m_progressTitle->setText(u"Checking the download…"_s);
    m_progressDetail->setText(u"Its length and signature must match what this build trusts."_s);
    m_cancel->setEnabled(true);
    break;
  case FeedUpdater::Phase::installing:
    m_progressTitle->setText(u"Installing Brindlewick %1…"_s.arg(version));
    m_progressDetail->setText(u"The version you are running stays in place until this has finished."_s);
    // The install completes or leaves everything as it was; it is not stopped half way.
    m_cancel->setEnabled(false);
    break;
  }
  if (page() != Page::progress)
    turnTo(m_progressPage);
}

void UpdateWindow::showProgress(qint64 received, qint64 total) {
  m_bar->setFraction(total > 0 ? double(received) / double(total) : -1);
  m_progressDetail->setText(total > 0 ? progressText(received, total) : QLocale().toString(received));
}

void UpdateWindow::finishInstall(const UpdateInstallOutcome& outcome, const QString& version,
                                 bool askedByReader, bool handedOffOpened) {
  m_installedVersion = version;
  if (outcome.kind == UpdateInstallOutcome::Kind::staged) {
    showMessage(u"Brindlewick %1 is installed."_s.arg(version), u"Restart Brindlewick to start using it."_s,
                u"Restart now"_s, u"Later"_s);
  } else {
    showMessage(u"Brindlewick %1 is downloaded and verified."_s.arg(version),
                handOffDetail(QDir::toNativeSeparators(outcome.path), handedOffOpened), u"Done"_s);
  }
  m_outcome = outcome;
  // Closed while it installed, or asked again after: the outcome is shown, forward only when
  // the reader asked.
  if (askedByReader || !isVisible())
    present(askedByReader);
}

void UpdateWindow::primaryPressed() {
  if (m_outcome && m_outcome->kind == UpdateInstallOutcome::Kind::staged) {
    if (!m_updater.restartInto(m_outcome->path)) {
      showMessage(u"Brindlewick could not start the new version."_s,
                  u"Quit Brindlewick and open it again to use version %1."_s.arg(m_installedVersion),
                  u"OK"_s);
    }
    return;
  }
  hide();
}

void UpdateWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), DropDesign::windowBackground(UiEnvironment::instance().schemeOf(this)));
}

void UpdateWindow::changeEvent(QEvent* event) {
  // Before Qt gives the focus back as it was: the reader comes in on the main button.
  if (event->type() == QEvent::ActivationChange)
    focusMainButtonWhenActive();
  QWidget::changeEvent(event);
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
  // Closing the window during a download stops it: nothing runs unseen.
  m_updater.cancelInstall();
  QWidget::closeEvent(event);
}

void UpdateWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && m_updater.phase() != FeedUpdater::Phase::installing) {
    close();
    return;
  }
  if ((event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) && page() == Page::offer) {
    m_notesScroll->verticalScrollBar()->triggerAction(event->key() == Qt::Key_PageUp
                                                          ? QAbstractSlider::SliderPageStepSub
                                                          : QAbstractSlider::SliderPageStepAdd);
    return;
  }
  QWidget::keyPressEvent(event);
}

} // namespace brindlewick
