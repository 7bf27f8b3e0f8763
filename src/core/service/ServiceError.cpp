#include "service/ServiceError.h"

namespace brindlewick {

const char* ServiceError::what() const noexcept {
  switch (m_kind) {
  case Kind::http:
    if (m_statusCode == 429) {
      return "Too many requests. Please wait before trying again.";
    }
    if (m_statusCode >= 500) {
      return "The service is temporarily unavailable. Please try again in a few minutes.";
    }
    if (m_statusCode == 401) {
      return "Your access has expired. Please verify your account again.";
    }
    if (m_statusCode == 409) {
      return "This request conflicts with the service's record. Please contact support.";
    }
    return "The service could not complete this request. Contact support if it keeps happening.";
  case Kind::unavailable:
    return "The service could not be reached. Check your connection and retry sign-in or cloud sync.";
  case Kind::invalidResponse: return "The service returned an unreadable response. Please try again later.";
  case Kind::responseTooLarge: return "The service response exceeded the safe size limit.";
  case Kind::invalidRequest: return "The request is not valid for this service.";
  case Kind::releaseUnavailable:
    return "The requested release is no longer published. Refresh the content manifest.";
  }
  return "";
}

} // namespace brindlewick
