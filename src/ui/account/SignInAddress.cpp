#include "ui/account/SignInAddress.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/design/DropTextBlock.h"

#include <QLabel>
#include <QVBoxLayout>

namespace brindlewick {

SignInAddress::SignInAddress(ReaderModel& model, DropDesign::ColorFor color,
                             DropDesign::ColorFor captionColor, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), m_model(model) {
  setObjectName(QStringLiteral("signIn.address"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(4);
  DropTextBlock* caption = AccountText::callout(QStringLiteral("Open this address in a browser to sign in:"),
                                                std::move(captionColor));
  caption->setAlignment(alignment);
  stack->addWidget(caption);
  m_address = AccountText::selectable({}, DropFonts::rounded(13, QFont::Medium).font(), std::move(color));
  // An address has few places to break; wrapping keeps a long one inside its column.
  m_address->setWordWrap(true);
  m_address->setAlignment(alignment);
  m_address->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_address->setObjectName(QStringLiteral("signIn.addressText"));
  stack->addWidget(m_address);
  for (auto signal : {&ReaderModel::signInURLChanged, &ReaderModel::messageChanged})
    connect(&model, signal, this, &SignInAddress::refresh);
  refresh();
}

bool SignInAddress::needed(const ReaderModel& model) {
  return model.signInURL().has_value() && model.message() == ReaderModel::browserFailureMessage;
}

QString SignInAddress::address() const {
  return m_address->text();
}

void SignInAddress::refresh() {
  const bool shown = needed(m_model);
  m_address->setText(shown ? m_model.signInURL()->toString(QUrl::FullyEncoded) : QString());
  m_address->setAccessibleName(m_address->text());
  // Before it has a parent, showing would open it as a window of its own; it shows with the
  // parent it is put into.
  if (shown && parentWidget() == nullptr)
    return;
  setVisible(shown);
}

} // namespace brindlewick
