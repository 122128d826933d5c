#include "core/process_values.h"

#include <iostream>

namespace leafstash {
namespace {

TProcessValues FreshValues() {
  TProcessValues values;
  values.ReportError = [](const std::string& message) {
    std::cerr << "Leafstash: " << message << '\n';
  };
  return values;
}

}  // namespace

TProcessValues& Process() {
  static TProcessValues values = FreshValues();
  return values;
}

void ResetProcessValues() { Process() = FreshValues(); }

}  // namespace leafstash
