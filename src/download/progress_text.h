// The progress texts of a download: elapsed time, speed, time left.
#pragma once

#include <cstdint>
#include <string>

namespace leafstash {

// Milliseconds as a time of day, "h:mm:ss" (a day or more wraps).
std::string TimeOfDayText(std::uint64_t Milliseconds);

// A speed in thousands of bytes per second (bytes per millisecond): the
// value in the general format with at most two digits after the
// decimal point, then " kb/sec".
std::string SpeedText(double KilobytesPerSecond);

struct TProgressTexts {
  std::string ElapsedTime, Speed, EstimatedTime;
};

// The texts for Received of Total bytes (Total 0: unknown) after Elapsed
// milliseconds; nothing is divided by zero: without elapsed time or bytes
// the speed and the time left are empty.
TProgressTexts MakeProgressTexts(bool Started, std::uint64_t ElapsedMs, std::uint32_t Received,
                                 std::uint32_t Total);

}  // namespace leafstash
