#include "download/progress_text.h"

#include <cstdio>

namespace leafstash {

std::string TimeOfDayText(std::uint64_t Milliseconds) {
  const std::uint64_t seconds = (Milliseconds / 1000) % 86400;
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u:%02u", static_cast<unsigned>(seconds / 3600),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  return text;
}

std::string SpeedText(double KilobytesPerSecond) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", KilobytesPerSecond);
  std::string out = text;
  const std::size_t point = out.find('.');
  if (point != std::string::npos && out.size() > point + 3) out.resize(point + 3);
  return out + " kb/sec";
}

TProgressTexts MakeProgressTexts(bool Started, std::uint64_t ElapsedMs, std::uint32_t Received,
                                 std::uint32_t Total) {
  TProgressTexts texts;
  if (!Started) return texts;
  texts.ElapsedTime = TimeOfDayText(ElapsedMs);
  if (ElapsedMs == 0 || Received == 0) return texts;
  const double speed = static_cast<double>(Received) / static_cast<double>(ElapsedMs);
  texts.Speed = SpeedText(speed);
  if (Total != 0) {
    const std::uint32_t remaining = Total - Received;
    texts.EstimatedTime = TimeOfDayText(static_cast<std::uint64_t>(remaining / speed));
  }
  return texts;
}

}  // namespace leafstash
