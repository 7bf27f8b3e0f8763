#include "BuildConfiguration.h"

namespace brindlewick {

const char* ConfigurationError::what() const noexcept {
  switch (m_kind) {
  case Kind::invalidURL:
    return "Build configuration requires HTTPS URLs without credentials, query, or fragment.";
  case Kind::missingAPI:
    return "This build has no configured API service. Sign-in and cloud sync are unavailable.";
  }
  return "";
}

} // namespace brindlewick
