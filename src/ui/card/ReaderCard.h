#pragma once

#include "content/ContentSnapshots.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <optional>

class QScrollArea;

namespace brindlewick {

class CardHeader;
class CollectionButton;
class DropButton;
class DropCardContent;
class DropTextBlock;
class IdeaShareButton;
class ReaderModel;

// The reading card in the card panel: the wordmark and close button, the current drop's
// content, its actions (love, save, share, "Explore idea", "More for you") and the model's
// message. Always dark, on the drop topic's gradient. It keeps nothing of the model's: it
// shows the model's current drop and message and calls the model for every action.
//
// In the panel (`fitsContent` false) the content scrolls within the height the panel gives,
// centred when short; the card tells the model when the pointer enters or leaves it, and
// asks the panel to lay out again when the message or the text scale changes. Built to be
// measured (`fitsContent` true) it is laid out at its natural height and touches nothing.
class ReaderCard : public QWidget {
  Q_OBJECT

public:
  ReaderCard(ReaderModel& model, bool fitsContent, QWidget* parent = nullptr);
  ~ReaderCard() override;

  // The height the card needs at `width`, in whole points. One hidden card, reused, is
  // brought up to date with the model and measured; it is never shown.
  static double fittingHeight(ReaderModel& model, double width);

  bool fitsContent() const { return m_fitsContent; }
  Category category() const;
  CardHeader* header() const { return m_header; }
  DropCardContent* content() const { return m_content; }
  QScrollArea* scrollArea() const { return m_scroll; }
  DropTextBlock* messageLine() const { return m_message; }
  CollectionButton* loveButton() const { return m_love; }
  CollectionButton* saveButton() const { return m_save; }
  DropButton* exploreButton() const { return m_explore; }
  DropButton* moreButton() const { return m_more; }

  // Opens `snapshot` in the reader window on its read page, closing the card first; nothing
  // when the reader may not read it.
  void openInWindow(const DropSnapshot& snapshot);

protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  void syncAll();
  // Rebuilds the drop's section when the drop or the text scale changed.
  void syncDrop();
  void syncMessage();
  void syncMore();
  void buildDropSection(const DropSnapshot& snapshot);
  // The card's bottom padding and the message's top padding, less the part of them that the
  // drop section's buttons already keep below themselves for their shadows.
  void placePadding(int shadowRoom);
  double textScale() const;
  // Puts the keyboard on the drop's text.
  void takeKeyboard();
  // Asks the visible panel to fit the card again.
  void refreshPanel();

  QPointer<ReaderModel> m_model;
  bool m_fitsContent;
  CardHeader* m_header;
  QWidget* m_dropSection = nullptr;
  QScrollArea* m_scroll = nullptr;
  DropCardContent* m_content = nullptr;
  CollectionButton* m_love = nullptr;
  CollectionButton* m_save = nullptr;
  IdeaShareButton* m_share = nullptr;
  DropButton* m_explore = nullptr;
  DropButton* m_more = nullptr;
  QWidget* m_messageBox;
  DropTextBlock* m_message;
  // What the drop section shows now.
  std::optional<DropSnapshot> m_shownDrop;
  double m_shownScale = 0;
  // The background for a size and topic.
  QPixmap m_background;
  std::optional<Category> m_backgroundCategory;
};

} // namespace brindlewick
