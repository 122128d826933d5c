// Texts that are not the program's own (titles, addresses, language
// files) shown on labels and in hints exactly as they are.
#pragma once

#include <QString>
#include <Qt>

class QLabel;

namespace leafstash {

// A hint (tool tip) that shows Text as written, markup and all.
QString PlainHint(const QString& Text);

// Text cut with Mode to fit Label's width; the whole of it in the hint.
void ShowCutToFit(QLabel* Label, const QString& Text, Qt::TextElideMode Mode);

}  // namespace leafstash
