#pragma once

#include "content/ContentContracts.h"
#include "ui/reading/ReadingText.h"

#include <QWidget>

namespace brindlewick {

// One cited source on the reading page: its title in medium weight, then its locator in the
// secondary colour. The title links, with an arrow, only when the source's address may be
// opened (ContractRules::openableLink); any other address leaves it plain.
class ReadingSourceRow : public QWidget {
  Q_OBJECT

public:
  // `size`: the text size of the page's sources; `opener` empty: the desktop's handler.
  ReadingSourceRow(const Source& source, qreal size, ReadingText::Opener opener = {},
                   QWidget* parent = nullptr);

  ReadingText* title() const { return m_title; }
  ReadingText* locator() const { return m_locator; }

private:
  ReadingText* m_title;
  ReadingText* m_locator;
};

} // namespace brindlewick
