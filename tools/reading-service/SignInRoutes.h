#pragma once

namespace brindlewick {

class ReadingService;

// Browser sign-in and sign-out:
//   POST /api/reader-auth/device/code   {"client_id"} -> the grant (RFC 8628 names)
//   POST /api/reader-auth/device/token  {"client_id", "device_code", "grant_type"}
//        -> {"access_token", "token_type"} once, else 400 {"error": …}
//   POST /api/reader-auth/sign-out      bearer -> 204, the session ended
//   GET  /device[?user_code=…]          the verification page
//   POST /device/approve                form "user_code=…": approves for the browser reader
void installSignInRoutes(ReadingService& service);

} // namespace brindlewick
