#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace brindlewick {

// Why a panel is being shown. Its raw value also appears in the panel's decision texts
// ("ordered manual").
enum class PresentationRequest {
  manual,         // the reader asked for it
  automaticProbe, // a scheduled presentation, or the probe of whether one would appear
};

QString rawValue(PresentationRequest request);
// Exactly "manual" or "automaticProbe" (case-sensitive); anything else gives no request.
std::optional<PresentationRequest> presentationRequestFromRawValue(QStringView raw);

// Bits of the front application's presentation options, as the desktop reports them.
namespace PresentationOptions {
inline constexpr quint64 autoHideDock = 1;
inline constexpr quint64 hideDock = 2;
inline constexpr quint64 autoHideMenuBar = 4;
inline constexpr quint64 hideMenuBar = 8;
inline constexpr quint64 fullScreen = 1024;
} // namespace PresentationOptions

// Bits of a panel's collection behaviour. They are kept as data for diagnostics; on Linux what
// a window manager makes of them is that the panel stays on top and, as both behaviours carry
// canJoinAllSpaces, is shown on every workspace (DropPanel asks for that at each showing).
namespace CollectionBehavior {
inline constexpr quint64 canJoinAllSpaces = 1;
inline constexpr quint64 transient = 8;
inline constexpr quint64 ignoresCycle = 64;
inline constexpr quint64 fullScreenPrimary = 128;
inline constexpr quint64 fullScreenAuxiliary = 256;
inline constexpr quint64 canJoinAllApplications = 262144;
} // namespace CollectionBehavior

// The two rules that depend on why a panel is shown.
namespace PresentationPolicy {

// An automatic presentation never interrupts a full-screen application; a manual one always
// goes ahead.
bool allows(PresentationRequest request, quint64 presentationOptions);
// 201 for automaticProbe, 262473 for manual.
quint64 collectionBehavior(PresentationRequest request);

} // namespace PresentationPolicy

} // namespace brindlewick
