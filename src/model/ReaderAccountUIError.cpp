#include "model/ReaderAccountUIError.h"

namespace brindlewick {

namespace {

const char* messageOf(ReaderAccountUIError::Case errorCase) {
  switch (errorCase) {
  case ReaderAccountUIError::Case::accountRequired: return "Sign in to save your account settings.";
  case ReaderAccountUIError::Case::preferencesUnavailable:
    return "Account settings could not be loaded. Please sync again.";
  }
  return "";
}

} // namespace

ReaderAccountUIError::ReaderAccountUIError(Case errorCase)
    : m_case(errorCase), m_what(messageOf(errorCase)) {}

} // namespace brindlewick
