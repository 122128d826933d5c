// What the benchmarks share: the peak memory of the process and clean
// destinations between runs.
#pragma once

#include <httplib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace leafstash::bench {

inline long StatusKiB(const char* Field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(Field, 0) == 0) return std::atol(line.c_str() + std::strlen(Field));
  return -1;
}
inline long PeakResidentKiB() { return StatusKiB("VmHWM:"); }

// Hands freed heap back to the system and resets the peak, so that the peak
// measured next is the work's and not what earlier benchmarks in this
// process left behind; returns the resident size the measurement starts
// from.
inline long ResetPeakResident() {
  ::malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKiB("VmRSS:");
}

// Removes the last run's file and lets its pages reach the disk, so that
// every run writes into the same kind of page cache.
inline void ClearDestination(const std::string& Path) {
  ::unlink(Path.c_str());
  ::sync();
}

// A megabyte of letters, the stuff large bodies are made of.
inline const std::string& Block() {
  static const std::string block = [] {
    std::string b(1 << 20, '\0');
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>('a' + i % 26);
    return b;
  }();
  return block;
}

// Answers with Size bytes of Block() copies, produced as they are sent.
inline void ServeLarge(httplib::Response& R, std::size_t Size, const char* Type) {
  R.set_content_provider(Size, Type, [](std::size_t, std::size_t length, httplib::DataSink& sink) {
    return sink.write(Block().data(), std::min(length, Block().size()));
  });
}

inline int RunCurl(const std::string& Arguments) {
  const std::string command = "curl --silent --show-error --no-progress-meter " + Arguments;
  return std::system(command.c_str());
}

}  // namespace leafstash::bench
