#include "gui/beep.h"

#include <QApplication>

namespace leafstash {
namespace {
std::vector<unsigned>& Beeps() {
  static std::vector<unsigned> beeps;
  return beeps;
}
}  // namespace

void MessageBeep(unsigned Type) {
  Beeps().push_back(Type);
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

const std::vector<unsigned>& BeepsSoFar() { return Beeps(); }
void ClearBeeps() { Beeps().clear(); }

}  // namespace leafstash
