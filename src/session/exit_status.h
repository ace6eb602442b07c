#pragma once

// The exit statuses of both programs, so that scripts read them the same way.

namespace zerin::session {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

} // namespace zerin::session
