#pragma once

namespace brindlewick {

class ReadingService;

// Content releases and analytics; every route needs an open session (401 otherwise). The two
// content routes answer under both "/api/reader/content/" and "/api/v1/content/":
//   GET  …/manifest        the current release's manifest with its "ETag"; 304 without a body
//                          when If-None-Match is that tag; 404 when nothing is published
//   GET  …/releases/{id}   the release's exact bytes; 404 or 410 once unpublished
//   POST /api/v1/analytics/batch  {"consent": true, "events": [at most 50]} -> {"accepted": n};
//                          400 otherwise; the events are kept for tests
void installContentRoutes(ReadingService& service);

} // namespace brindlewick
