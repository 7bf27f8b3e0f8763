#pragma once

#include "content/ContentSnapshots.h"

#include <QString>

namespace brindlewick {

// The plain text that sharing an idea hands to the desktop: the explanation, one line per
// book ("Title — Author, Author"), the sources' addresses, and "Shared from Brindlewick", as
// blocks separated by a blank line; an empty block is left out. Addresses are compared as
// Unicode text (canonically equivalent spellings are one address, written in composed form)
// and listed once each, in code point order. Pure; safe on any thread.
QString shareText(const DropSnapshot& snapshot);

} // namespace brindlewick
