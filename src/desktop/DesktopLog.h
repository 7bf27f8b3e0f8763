#pragma once

#include <QLoggingCategory>

namespace brindlewick {

// The desktop layer's log: which services answered, and which did not.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

} // namespace brindlewick
