#pragma once

#include <QString>

class QScreen;

namespace brindlewick {

// What Qt tells us about a connected display, and the 32-bit number that names it across
// runs. The reader's chosen display is stored as that number, so it must not change between
// processes (qHash is seeded per process and would).
struct DisplayIdentity {
  QString name; // the connector, such as "eDP-1" or "HDMI-A-1"
  QString manufacturer;
  QString model;
  QString serialNumber;

  static DisplayIdentity of(const QScreen& screen);

  // FNV-1a (32 bit) of the UTF-8 fields, separated by the unit separator (U+001F). A display
  // that reports a serial number is named by manufacturer, model and serial number, so the
  // same monitor keeps its number on another connector; one without a serial number is
  // named by its connector as well, which tells two identical anonymous monitors apart.
  // Never 0, so that 0 can never be mistaken for "no display".
  quint32 displayId() const;
};

} // namespace brindlewick
