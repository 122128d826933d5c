#include "gui/links_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <cstdio>

#include "html/text_utils.h"

namespace leafstash {
namespace {

constexpr int kHrefRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1;

// A row that sorts by the rule of the list it is in.
class TLinkRow : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& Other) const override {
    const auto* view = static_cast<const TLinksView*>(treeWidget());
    return view->LinksViewCompare(this, &Other) < 0;
  }
};

QByteArray Bytes(const std::string& Text) {
  return QByteArray(Text.data(), static_cast<qsizetype>(Text.size()));
}

}  // namespace

TLinksView::TLinksView(QWidget* Parent) : QTreeWidget(Parent) {
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(false);
  connect(header(), &QHeaderView::sectionClicked, this,
          [this](int column) { LinksViewColumnClick(column); });
}

QTreeWidgetItem* TLinksView::AddRow(const std::string& Href, bool Checked) {
  auto* row = new TLinkRow();
  char number[24];
  std::snprintf(number, sizeof number, "%2d", topLevelItemCount() + 1);
  row->setText(0, number);
  row->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
  row->setText(1, QString::fromStdString(Href));
  row->setData(0, kHrefRole, Bytes(Href));
  row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  SetChecked(row, Checked);
  addTopLevelItem(row);
  return row;
}

void TLinksView::SetExtension(QTreeWidgetItem* Row, const std::string& Extension) {
  Row->setText(2, QString::fromStdString(Extension));
}

void TLinksView::SetLinkText(QTreeWidgetItem* Row, const std::string& Text) {
  Row->setText(3, QString::fromStdString(Text));
  Row->setData(0, kTextRole, Bytes(Text));
}

std::string TLinksView::Href(const QTreeWidgetItem* Row) {
  return Row->data(0, kHrefRole).toByteArray().toStdString();
}

std::string TLinksView::LinkText(const QTreeWidgetItem* Row) {
  return Row->data(0, kTextRole).toByteArray().toStdString();
}

bool TLinksView::IsChecked(const QTreeWidgetItem* Row) {
  return Row->checkState(0) == Qt::Checked;
}

void TLinksView::SetChecked(QTreeWidgetItem* Row, bool Checked) {
  Row->setCheckState(0, Checked ? Qt::Checked : Qt::Unchecked);
}

QList<QTreeWidgetItem*> TLinksView::Rows() const {
  QList<QTreeWidgetItem*> rows;
  rows.reserve(topLevelItemCount());
  for (int i = 0; i < topLevelItemCount(); ++i) rows.append(topLevelItem(i));
  return rows;
}

void TLinksView::LinksViewColumnClick(int Column) {
  SortColumn = Column;
  sortItems(Column, Qt::AscendingOrder);
}

int TLinksView::LinksViewCompare(const QTreeWidgetItem* A, const QTreeWidgetItem* B) const {
  if (SortColumn == 0) {
    const int a = A->text(0).trimmed().toInt(), b = B->text(0).trimmed().toInt();
    return a < b ? -1 : a > b ? 1 : 0;
  }
  // Only the ASCII letters are folded; other characters compare by code.
  const std::string a = LowerCopy(A->text(SortColumn).toStdString());
  const std::string b = LowerCopy(B->text(SortColumn).toStdString());
  return a.compare(b);
}

void TLinksView::keyPressEvent(QKeyEvent* Event) {
  LinksViewKeyDown(Event->key());
  QTreeWidget::keyPressEvent(Event);
}

void TLinksView::LinksViewKeyDown(int Key) {
  if (Key != Qt::Key_Space) return;
  QTreeWidgetItem* focused = currentItem();
  if (!focused) return;
  // The list toggles the check of the current cell: keep it in column 0.
  selectionModel()->setCurrentIndex(currentIndex().siblingAtColumn(0), QItemSelectionModel::NoUpdate);
  // The list then toggles the focused row: every selected row ends alike.
  const bool state = !IsChecked(focused);
  for (QTreeWidgetItem* row : selectedItems())
    if (row != focused) SetChecked(row, state);
}

}  // namespace leafstash
