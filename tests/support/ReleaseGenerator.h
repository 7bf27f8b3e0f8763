#pragma once

#include "PublishedContent.h"
#include "content/ContentContracts.h"

#include <QByteArray>
#include <QString>

namespace brindlewick {

// The shape of a generated release. Zero counts are derived from the number of drops.
struct ReleaseShape {
  int books = 0;       // 0: one book per 20 drops, at least 2
  int sources = 0;     // 0: two per book
  int withdrawals = 0; // 0: one per 50 drops
  // When positive, the compact release body is padded (inside drop texts) to exactly this
  // many bytes; it must be at least the natural size.
  qsizetype targetBytes = 0;
  QString releaseId = QStringLiteral("7b3f6a2e-5c1d-4e8f-9a0b-1c2d3e4f5a6b");
  QString publishedAt = QStringLiteral("2026-03-01T08:00:00Z");
  QString minimumAppVersion = QStringLiteral("1.0.0");
  bool developmentOnly = false;
  int seed = 1; // varies ids and texts between releases
};

// A valid release (every reference resolves, every field within its bounds) with its compact
// body, and the manifest that announces exactly that body.
struct GeneratedRelease {
  ContentRelease release;
  QByteArray body;
  ContentManifest manifest;
  QByteArray manifestBody;
};

GeneratedRelease generateRelease(int drops, const ReleaseShape& shape = {});

// The compact body of a release.
QByteArray encodeRelease(const ContentRelease& release);

// A UUID-shaped id (version 4) unique for each (kind, index, seed).
QString generatedId(int kind, qint64 index, int seed = 1);

} // namespace brindlewick
