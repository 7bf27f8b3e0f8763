#include "desktop/DesktopLog.h"

namespace brindlewick {

Q_LOGGING_CATEGORY(lcDesktop, "brindlewick.desktop", QtInfoMsg)

} // namespace brindlewick
