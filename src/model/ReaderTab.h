#pragma once

#include "content/ContentContracts.h"

namespace brindlewick {

// The pages of the reader window, in the order the sidebar lists them. The raw value (and
// identifier) of a page is its case name; rawValue(), fromRawValue<ReaderTab>() and
// allCases<ReaderTab>() work as for the content enumerations.
enum class ReaderTab { discover, saved, history, read, welcome, settings };

template <> struct ContractEnum<ReaderTab> {
  static constexpr std::string_view name = "ReaderTab";
  static constexpr std::array<std::string_view, 6> wireValues = {"discover", "saved",   "history",
                                                                 "read",     "welcome", "settings"};
};

// The identifier views key a page by: its raw value.
inline QString id(ReaderTab tab) {
  return rawValue(tab);
}

} // namespace brindlewick
