#include "gui/dark_palette.h"

namespace leafstash {

QPalette DarkPalette() {
  const QColor window(0x35, 0x35, 0x35), base(0x24, 0x24, 0x24), text(0xe8, 0xe8, 0xe8);
  const QColor dimmed(0x9a, 0x9a, 0x9a);
  QPalette p(window);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x45, 0x45, 0x45));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xb8));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x6c, 0xb6, 0xff));
  p.setColor(QPalette::ToolTipBase, QColor(0x4a, 0x4a, 0x30));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, dimmed);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, dimmed);
  p.setColor(QPalette::Disabled, QPalette::Base, window);
  return p;
}

}  // namespace leafstash
