#include "panel/PresentationPolicy.h"

namespace brindlewick {

QString rawValue(PresentationRequest request) {
  switch (request) {
  case PresentationRequest::manual: return QStringLiteral("manual");
  case PresentationRequest::automaticProbe: return QStringLiteral("automaticProbe");
  }
  return {};
}

std::optional<PresentationRequest> presentationRequestFromRawValue(QStringView raw) {
  for (const PresentationRequest request :
       {PresentationRequest::manual, PresentationRequest::automaticProbe}) {
    if (raw == rawValue(request))
      return request;
  }
  return std::nullopt;
}

namespace PresentationPolicy {

bool allows(PresentationRequest request, quint64 presentationOptions) {
  return !(request == PresentationRequest::automaticProbe &&
           (presentationOptions & PresentationOptions::fullScreen) != 0);
}

quint64 collectionBehavior(PresentationRequest request) {
  using namespace CollectionBehavior;
  switch (request) {
  case PresentationRequest::automaticProbe:
    return canJoinAllSpaces | transient | ignoresCycle | fullScreenPrimary;
  case PresentationRequest::manual:
    return canJoinAllSpaces | transient | ignoresCycle | fullScreenAuxiliary | canJoinAllApplications;
  }
  return 0;
}

} // namespace PresentationPolicy

} // namespace brindlewick
