#pragma once

#include "model/FeedUpdater.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QScrollArea;
class QStackedWidget;
class QWindow;

namespace brindlewick {

class DropButton;
class DropTextBlock;
class ScreenSource;
class UpdateProgressBar;

// The small window of the updater: a release on offer with its notes and the reader's three
// answers, then the download's progress with a way to stop it, then how it ended (restart
// into the new version, where a handed-off file is kept, or why nothing was installed). A
// check the reader asked for that offers nothing ends here too, in an answer.
//
// It opens itself when the updater has something to say, where the reader works: over the
// reader window while that is open, else centred on the display of the active window. While it
// stands with the reader window it stays above it, as a dialog does, however the reader comes
// back to the reader window (a click, the window switcher); with no reader window shown it is
// a window of its own. For a
// scheduled check it appears without taking the keyboard focus or rising over the reader's
// work in another application; the answer to a check the reader asked for comes forward over
// the window they asked in, every time, wherever the window was before.
//
// Each page opens with its main button focused and ringed, so that Return presses it: the
// offer's "Install update", the progress page's "Cancel", the message's main button. A window
// shown without the focus does so once the reader comes into it. The release notes are no Tab
// stop; Page Up and Page Down scroll them. Main thread only.
class UpdateWindow : public QWidget {
  Q_OBJECT

public:
  enum class Page { offer, progress, message };

  // What the window is placed by; either may be missing (the window then centres itself on
  // the display under the pointer).
  struct Surroundings {
    // The reader window, when there is one.
    std::function<const QWidget*()> readerWindow;
    // Which display the reader works on.
    const ScreenSource* screens = nullptr;
  };

  static inline const QString notesTitle = QStringLiteral("Release notes");

  explicit UpdateWindow(FeedUpdater& updater);
  UpdateWindow(FeedUpdater& updater, Surroundings surroundings);
  ~UpdateWindow() override;

  // Stays above the reader window while both are shown (a window transient for it), and is a
  // window of its own while the reader window is not shown. Done on each showing; the shell
  // calls it whenever the reader window shows, whose hiding is followed from then on.
  void followReaderWindow();

  Page page() const;
  // "Brindlewick 1.4 is available — you have 1.3", or the title of the progress or message.
  QString headline() const;
  const DropTextBlock* notes() const { return m_notes; }
  DropButton* installButton() const { return m_install; }
  DropButton* remindButton() const { return m_remind; }
  DropButton* skipButton() const { return m_skip; }
  DropButton* cancelButton() const { return m_cancel; }
  const UpdateProgressBar* progressBar() const { return m_bar; }
  const DropTextBlock* progressDetail() const { return m_progressDetail; }
  const DropTextBlock* messageDetail() const { return m_messageDetail; }
  // The message's buttons: the main one ("Restart now", "OK", "Done", "Close") and the one
  // beside it ("Later"), hidden where it does not apply.
  DropButton* primaryButton() const { return m_primary; }
  DropButton* secondaryButton() const { return m_secondary; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void buildOffer();
  void buildProgress();
  void buildMessage();
  // Shows the window; forward (raised, with the focus) only when the reader asked.
  void present(bool comeForward);
  // Over the window the reader works in, else centred on their display.
  void place(bool askedByReader);
  const QWidget* anchor(bool askedByReader) const;
  QRect workingArea() const;
  // The button Return presses on the page on show.
  DropButton* mainButton() const;
  // Turns to `page`, whose main button takes the focus now or when the reader comes in.
  void turnTo(QWidget* page);
  void focusMainButtonWhenActive();
  void offer(const UpdateRelease& release, bool askedByReader);
  void showMessage(const QString& title, const QString& detail, const QString& primary,
                   const QString& secondary = {});
  void followPhase();
  // Links this window to the followed reader window while both are shown, or unlinks it.
  void linkToReaderWindow();
  void showProgress(qint64 received, qint64 total);
  void finishInstall(const UpdateInstallOutcome& outcome, const QString& version, bool askedByReader,
                     bool handedOffOpened);
  void primaryPressed();

  FeedUpdater& m_updater;
  Surroundings m_surroundings;
  // The reader window's native window, whose showing and hiding the link follows.
  QPointer<QWindow> m_readerHandle;
  // The page turned while the window was not active: its main button waits for the reader.
  bool m_focusPending = false;
  std::optional<UpdateRelease> m_release;
  // The install the message on show is about ("Restart now" starts it); none for any other.
  std::optional<UpdateInstallOutcome> m_outcome;
  QString m_installedVersion;
  QStackedWidget* m_pages = nullptr;
  QWidget* m_offerPage = nullptr;
  DropTextBlock* m_offerTitle = nullptr;
  DropTextBlock* m_notes = nullptr;
  QScrollArea* m_notesScroll = nullptr;
  DropButton* m_install = nullptr;
  DropButton* m_remind = nullptr;
  DropButton* m_skip = nullptr;
  QWidget* m_progressPage = nullptr;
  DropTextBlock* m_progressTitle = nullptr;
  UpdateProgressBar* m_bar = nullptr;
  DropTextBlock* m_progressDetail = nullptr;
  DropButton* m_cancel = nullptr;
  QWidget* m_messagePage = nullptr;
  DropTextBlock* m_messageTitle = nullptr;
  DropTextBlock* m_messageDetail = nullptr;
  DropButton* m_primary = nullptr;
  DropButton* m_secondary = nullptr;
};

} // namespace brindlewick
