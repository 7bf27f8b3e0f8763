#include "ui/account/SignInAddress.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropTextBlock.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHostAddress>
#include <QLabel>
#include <QVBoxLayout>

namespace brindlewick {

SignInAddress::SignInAddress(ReaderModel& model, DropDesign::ColorFor color,
                             DropDesign::ColorFor captionColor, DropButtonStyle copyStyle,
                             Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), m_model(model) {
  setObjectName(QStringLiteral("signIn.address"));
  auto* stack = new QVBoxLayout(this);
  stack->setSpacing(6);
  m_caption = AccountText::callout(captionText, std::move(captionColor));
  m_caption->setAlignment(alignment);
  stack->addWidget(m_caption);

  m_address = AccountText::selectable({}, DropFonts::rounded(13, QFont::Medium).font(), std::move(color));
  // An address has few places to break; wrapping keeps a long one inside its column.
  m_address->setWordWrap(true);
  m_address->setAlignment(alignment);
  m_address->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_address->setObjectName(QStringLiteral("signIn.addressText"));
  m_copy = new DropButton(copyTitle, copyStyle);
  DropAccessibility::describe(m_copy, QStringLiteral("signIn.copyAddress"), copyTitle);
  connect(m_copy, &QPushButton::clicked, this, &SignInAddress::copy);

  // The address has the column's width to itself, and wraps only when it has to; the button
  // goes under it, where it fits in the narrowest host.
  stack->addWidget(m_address);
  stack->addSpacing(2);
  stack->addWidget(m_copy, 0, alignment & Qt::AlignHorizontal_Mask);
  // The button's shadow and focus ring need room at this widget's edges, which would otherwise
  // push its shape inwards from the address's edge; a host places the widget by what lies
  // inside that room (copyButtonRoom()).
  stack->setContentsMargins(m_copy->shapeMargins());

  for (auto signal :
       {&ReaderModel::signInURLChanged, &ReaderModel::signInCodeChanged, &ReaderModel::messageChanged})
    connect(&model, signal, this, &SignInAddress::refresh);
  refresh();
}

bool SignInAddress::needed(const ReaderModel& model) {
  return model.signInCode().has_value() && model.signInURL().has_value();
}

bool SignInAddress::browserFailed(const ReaderModel& model) {
  return needed(model) && model.message() == ReaderModel::browserFailureMessage;
}

QString SignInAddress::caption() const {
  return m_caption->text();
}

QString SignInAddress::address() const {
  return m_address->text();
}

void SignInAddress::copy() {
  QGuiApplication::clipboard()->setText(address());
  m_copy->setText(copiedTitle);
  m_copy->setAccessibleName(copiedTitle);
}

QString SignInAddress::captionFor(const QUrl& page, bool browserFailed) {
  const QString host = page.host().toLower();
  const QHostAddress numeric(host);
  const bool here = numeric.isNull()
                        ? host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost"))
                        : numeric.isLoopback();
  if (here)
    return browserFailed ? localFailedCaptionText : localCaptionText;
  return browserFailed ? failedCaptionText : captionText;
}

void SignInAddress::refresh() {
  const bool shown = needed(m_model);
  const QString caption = captionFor(m_model.signInURL().value_or(QUrl()), browserFailed(m_model));
  if (caption != m_caption->text()) {
    m_caption->setText(caption);
    m_caption->setAccessibleName(caption);
  }
  const QString address = shown ? m_model.signInURL()->toString(QUrl::FullyEncoded) : QString();
  if (address != m_address->text()) {
    m_address->setText(address);
    m_address->setAccessibleName(address);
    // A new address has not been copied yet.
    m_copy->setText(copyTitle);
    m_copy->setAccessibleName(copyTitle);
  }
  // Before it has a parent, showing would open it as a window of its own; it shows with the
  // parent it is put into.
  if (shown && parentWidget() == nullptr)
    return;
  setVisible(shown);
}

} // namespace brindlewick
