#pragma once
// etherm-sim's exit statuses, as the analyses read them.

namespace etherm::sim {

// The probe data (and the bias file when asked for) are written.
inline constexpr int kExitSuccess = 0;
// The circuit is refused or cannot be simulated: the last line of the listing that begins with
// "etherm-sim:" says why. Running the same circuit again gives the same answer.
inline constexpr int kExitRefused = 1;
// Wrong arguments, or the listing cannot be created.
inline constexpr int kExitUsage = 2;
// An unexpected failure, such as memory running out; another run may succeed.
inline constexpr int kExitUnexpected = 3;

}  // namespace etherm::sim
