// The link list of the start window: a report list with a check box per
// row and four columns (row number, address, extension, link text). The
// space bar gives every selected row the new state of the focused row, and
// a click on a column header sorts by that column.
#pragma once

#include <QTreeWidget>
#include <string>

namespace leafstash {

class TLinksView : public QTreeWidget {
 public:
  explicit TLinksView(QWidget* Parent = nullptr);

  // Adds a row numbered after the rows there are. Href and the link text
  // are kept byte for byte beside what the columns show.
  QTreeWidgetItem* AddRow(const std::string& Href, bool Checked);
  static void SetExtension(QTreeWidgetItem* Row, const std::string& Extension);
  static void SetLinkText(QTreeWidgetItem* Row, const std::string& Text);
  static std::string Href(const QTreeWidgetItem* Row);
  static std::string LinkText(const QTreeWidgetItem* Row);
  static bool IsChecked(const QTreeWidgetItem* Row);
  static void SetChecked(QTreeWidgetItem* Row, bool Checked);
  // The rows in the order shown.
  QList<QTreeWidgetItem*> Rows() const;

  int SortColumn = 0;
  void LinksViewColumnClick(int Column);
  // Negative, zero or positive as A sorts before, with or after B.
  int LinksViewCompare(const QTreeWidgetItem* A, const QTreeWidgetItem* B) const;

 protected:
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  void LinksViewKeyDown(int Key);
};

}  // namespace leafstash
