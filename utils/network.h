#pragma once
// The machine's connectivity as the system's network list sees it.
#include <cstdint>

namespace Utils {

// Connectivity: flags in the low 16 bits, status in the high 16 bits
// (0 usable, 1 no connectivity, 2 connected but not to the internet). COM must
// be initialised on the calling thread (Windows). Elsewhere always "usable".
int32_t CheckNetwork();

// The status half of a CheckNetwork result (0 usable).
inline int NetworkStatus(int32_t packed) { return static_cast<int>(static_cast<uint32_t>(packed) >> 16); }

}  // namespace Utils
