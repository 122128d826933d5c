// Message beeps go through here, so tests can see them.
#pragma once

#include <vector>

namespace leafstash {

constexpr unsigned MB_OK_BEEP = 0x0;
constexpr unsigned MB_ICONWARNING_BEEP = 0x30;
constexpr unsigned MB_ICONINFORMATION_BEEP = 0x40;

// Sounds the beep of Type (the default beep for 0) and records it.
void MessageBeep(unsigned Type);
// The beeps so far, oldest first.
const std::vector<unsigned>& BeepsSoFar();
void ClearBeeps();

}  // namespace leafstash
