// The program's standard error message box: the application title as its
// caption, the text shown as it is.
#pragma once

#include <string>

class QWidget;

namespace leafstash {

void ShowErrorBox(QWidget* Parent, const std::string& Text);

}  // namespace leafstash
