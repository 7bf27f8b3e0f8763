#pragma once

#include <QPointer>
#include <QScrollArea>

namespace brindlewick {

class DropNotice;
class DropSidebarSurface;
class ReaderModel;

// The scrolling workspace of the reader window: one rounded page card, clear of the floating
// sidebar (256 points from the leading edge, 16 from the others), holding the sync-problem
// notice, the message notice and the page on show.
//
// The card's corners: child widgets cannot be clipped to an antialiased shape, so the page is
// laid out in the card's full rectangle and a layer above it, which the pointer passes
// through, paints the window's backdrop, the card's shadow and its border over the four
// corners. The card's surface and shadow come from a layer beneath the page. The backdrop is
// that of `backdropOwner`, the widget whose whole rectangle the backdrop covers.
//
// A control of the page that takes the keyboard is scrolled into view (FocusInView), whatever
// brought the keyboard there; a control the page keys scroll out of view leaves the keyboard
// to the page itself (PageKeys).
class ReaderWorkspace : public QScrollArea {
  Q_OBJECT

public:
  static constexpr int leadingInset = 256;
  static constexpr int margin = 16;
  static constexpr int cardRadius = 24;

  ReaderWorkspace(ReaderModel& model, QWidget* backdropOwner, QWidget* parent = nullptr);

  // The page on show (none at first). A new page replaces the old one, which is deleted later.
  QWidget* page() const { return m_page; }
  void setPage(QWidget* page);
  // The rounded card, in the scrolled content's coordinates.
  QWidget* card() const { return m_card; }
  DropNotice* syncNotice() const { return m_syncNotice; }
  DropNotice* messageNotice() const { return m_messageNotice; }
  QWidget* backdropOwner() const { return m_backdropOwner; }

  void scrollToTop();
  // The first control of `page` that Tab reaches; none when it has none.
  static QWidget* firstControl(QWidget* page);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool focusNextPrevChild(bool next) override;

private:
  void refreshNotices();
  void placeCardLayers();

  ReaderModel& m_model;
  QPointer<QWidget> m_backdropOwner;
  QWidget* m_canvas;
  QWidget* m_card;
  QWidget* m_pageHost;
  DropSidebarSurface* m_cardSurface;
  QWidget* m_corners;
  DropNotice* m_syncNotice;
  DropNotice* m_messageNotice;
  QPointer<QWidget> m_page;
};

} // namespace brindlewick
