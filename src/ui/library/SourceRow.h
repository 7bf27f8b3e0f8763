#pragma once

#include "content/ContentContracts.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;

namespace brindlewick {

class DropTextBlock;

// One cited source on the reading page: its title, then its locator in the secondary colour.
// The title is a link, with an arrow, only when the source's address may be opened
// (ContractRules::openableLink: http or https with a host and no credentials); any other
// address, a saved snapshot's file: or custom scheme included, leaves it plain text. The link
// opens through the opener it is given, never by the label itself.
class SourceRow : public QWidget {
  Q_OBJECT

public:
  using Opener = std::function<void(const QUrl&)>;

  // `opener` empty: the desktop's handler for the address.
  explicit SourceRow(const Source& source, Opener opener = {}, QWidget* parent = nullptr);

  // The address the title opens; none for a plain title.
  const std::optional<QUrl>& link() const { return m_link; }
  // The title's control: a button for a link, else none.
  QAbstractButton* linkButton() const { return m_button; }
  DropTextBlock* titleLabel() const { return m_title; }
  DropTextBlock* locatorLabel() const { return m_locator; }

private:
  std::optional<QUrl> m_link;
  QAbstractButton* m_button = nullptr;
  DropTextBlock* m_title;
  DropTextBlock* m_locator;
};

} // namespace brindlewick
