// Makes the application's desktop probes and ends at once, while they may still be opening the
// buses in the background.
#include "desktop/DesktopProbes.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const brindlewick::LinuxDesktopProbes desktop;
  return 0;
}
