#include "ui/settings/SettingsWidgets.h"

#include "ui/account/AccountText.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/FocusedWheel.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace brindlewick::SettingsWidgets {

namespace {

DropTextBlock* rowLabel(const QString& text) {
  auto* label = new DropTextBlock(text);
  label->setTextStyle(DropTextBlock::Style{DropFonts::rounded(DropFonts::bodySize)});
  label->setColor(AccountText::primary());
  label->setWrapping(false);
  return label;
}

} // namespace

QCheckBox* checkBox(const QString& text, const QString& name) {
  auto* box = new QCheckBox(text);
  box->setObjectName(name);
  box->setFont(DropFonts::rounded(DropFonts::bodySize).font());
  DropStandardWidgets::adopt(box);
  return box;
}

QComboBox* comboBox(const QString& name, const QString& label) {
  auto* combo = new QComboBox;
  combo->setFont(DropFonts::rounded(DropFonts::bodySize).font());
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  DropStandardWidgets::adopt(combo);
  DropStandardWidgets::adopt(combo->view()); // the pop-up list, drawn in the same scheme
  FocusedWheel::install(combo);
  DropAccessibility::describe(combo, name, label);
  return combo;
}

QHBoxLayout* labelledRow(const QString& label, QWidget* control) {
  auto* row = new QHBoxLayout;
  row->setSpacing(12);
  row->addWidget(rowLabel(label), 0, Qt::AlignVCenter);
  if (control)
    row->addWidget(control, 0, Qt::AlignVCenter);
  row->addStretch(1);
  return row;
}

QHBoxLayout* valueRow(const QString& label, QLabel* value) {
  auto* row = new QHBoxLayout;
  auto* name = rowLabel(label);
  name->setTextStyle(DropTextBlock::Style{DropFonts::rounded(AccountText::calloutSize)});
  value->setTextFormat(Qt::PlainText);
  value->setFont(DropFonts::rounded(AccountText::calloutSize).font());
  DropStandardWidgets::keepForeground(value, AccountText::secondary());
  row->addWidget(name);
  row->addStretch(1);
  row->addWidget(value);
  return row;
}

} // namespace brindlewick::SettingsWidgets
