#pragma once

#include "content/ContentContracts.h"
#include "ui/reading/ReadingText.h"

#include <QWidget>

namespace brindlewick {

// One cited source on the reading page: its title in medium weight, then its locator in the
// secondary colour, both selectable. The title links, with an arrow, only when the source's
// address may be opened (ContractRules::openableLink: http or https with a host and no
// credentials); any other address, a saved snapshot's file: or custom scheme included, leaves
// it plain. The link opens through LinkOpener, never by the text itself.
class SourceRow : public QWidget {
  Q_OBJECT

public:
  // `size`: the text size of the page's sources.
  SourceRow(const Source& source, qreal size, QWidget* parent = nullptr);

  ReadingText* title() const { return m_title; }
  ReadingText* locator() const { return m_locator; }

private:
  ReadingText* m_title;
  ReadingText* m_locator;
};

} // namespace brindlewick
