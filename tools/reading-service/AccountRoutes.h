#pragma once

namespace brindlewick {

class ReadingService;

// The signed-in reader's account; every route needs an open session (401 otherwise):
//   GET  /api/reader/me           {"user", "sessionExpiresAt", "metrics"}
//   GET  /api/reader/items        [?cursor=…] {"items": […], "nextCursor"?}; 400 for a cursor
//                                 the stand-in did not make
//   PUT  /api/reader/items/{id}   {"saved"|"loved": bool, "revision": n} -> the item as it now
//                                 stands; 400 other bodies, 409 another revision than the
//                                 account's, 404 a drop neither held nor published
//   GET  /api/reader/preferences  {"preferences"?, "version"}
//   PUT  /api/reader/preferences  {"preferences", "version"} -> the same with version + 1; 400
//                                 other bodies or a display, 409 another version
//   POST /api/reader/activity     {"id", "loreId", "revision", "type": "read", "occurredAt"}
//                                 -> {"ok": true}, each id counted once
void installAccountRoutes(ReadingService& service);

} // namespace brindlewick
