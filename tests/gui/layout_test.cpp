// Every form in every language, at the scale factor the run gives
// (QT_SCALE_FACTOR; ctest runs these at 1, 1.5 and 2): no caption wider
// than its control, no two controls overlapping or touching, each page's
// tab order in reading order, and every text readable in a dark theme.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <cmath>
#include <sstream>

#include "core/language.h"
#include "engine/job_driver.h"
#include "gui/auth_form.h"
#include "gui/dark_palette.h"
#include "gui/main_form.h"
#include "gui/up_down.h"
#include "start_form_fixture.h"

namespace leafstash {
namespace {

const char* const kLanguages[] = {"English", "German", "Russian", "Ukrainian"};

const char* const kPage =
    "{\"url\":\"http://h.test/\",\"title\":\"T\",\"documentUrl\":\"http://h.test/\","
    "\"selectionHtml\":\"\",\"links\":[{\"href\":\"http://h.test/a\",\"innerText\":\"a\"}]}";

std::string Name(const QWidget* Control) { return Control->objectName().toStdString(); }

// The controls of Window as drawn now: named by their form and shown; the
// pages, tab widgets and group boxes only hold them.
std::vector<QWidget*> Controls(QWidget* Window) {
  std::vector<QWidget*> controls;
  for (QWidget* w : Window->findChildren<QWidget*>()) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith("qt_") || name == "RefusalNote" ||
        !w->isVisibleTo(Window))
      continue;
    const bool plain = w->metaObject() == &QWidget::staticMetaObject && !dynamic_cast<TUpDown*>(w);
    if (plain || qobject_cast<QTabWidget*>(w) || qobject_cast<QGroupBox*>(w) ||
        qobject_cast<QStackedWidget*>(w))
      continue;
    controls.push_back(w);
  }
  return controls;
}

QString Shown(const QString& Text, bool Mnemonic) {
  return Mnemonic ? QString(Text).remove('&') : Text;
}

// The width a control's caption needs, and the width it has; 0 and 0 for
// controls whose text is the user's or cut to fit.
std::pair<int, int> CaptionRoom(QWidget* w) {
  const QFontMetrics fm = w->fontMetrics();
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->wordWrap() || label->text().isEmpty()) return {0, 0};
    return {fm.horizontalAdvance(Shown(label->text(), label->buddy() != nullptr)),
            label->contentsRect().width() - 2 * label->margin()};
  }
  if (auto* box = qobject_cast<QCheckBox*>(w)) return {box->sizeHint().width(), box->width()};
  if (auto* button = qobject_cast<QPushButton*>(w))
    return {fm.horizontalAdvance(Shown(button->text(), true)) + 6, button->width()};
  return {0, 0};
}

// Where a control draws, in Window's coordinates: a caption only as far
// as its text and a line high.
QRect Occupied(QWidget* w, QWidget* Window) {
  QRect r(w->mapTo(Window, QPoint(0, 0)), w->size());
  const int line = w->fontMetrics().height();
  const auto textOnly = [&](int Width) {
    const int width = std::min(r.width(), Width);
    if (w->layoutDirection() == Qt::RightToLeft) r.setLeft(r.right() + 1 - width);
    r.setWidth(width);
    if (line < r.height()) r = QRect(r.x(), r.y() + (r.height() - line) / 2, r.width(), line);
  };
  auto* label = qobject_cast<QLabel*>(w);
  if (label && !label->wordWrap() && label->pixmap().isNull() && !label->movie() &&
      label->alignment() & Qt::AlignLeft)
    textOnly(CaptionRoom(w).first + r.width() - label->contentsRect().width() + 2 * label->margin());
  else if (qobject_cast<QCheckBox*>(w))
    textOnly(w->sizeHint().width());
  return r;
}

// A number's edit and its arrows are one control.
bool Together(QWidget* A, QWidget* B) {
  return (dynamic_cast<TUpDown*>(A) && qobject_cast<QLineEdit*>(B)) ||
         (dynamic_cast<TUpDown*>(B) && qobject_cast<QLineEdit*>(A));
}

double Luminance(const QColor& Colour) {
  const auto channel = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(Colour.redF()) + 0.7152 * channel(Colour.greenF()) +
         0.0722 * channel(Colour.blueF());
}

double Contrast(const QColor& A, const QColor& B) {
  const double a = Luminance(A), b = Luminance(B);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The text and background colours a control is drawn with.
std::pair<QColor, QColor> Colours(QWidget* w) {
  const QPalette p = w->palette();
  const QPalette::ColorGroup group = w->isEnabled() ? QPalette::Active : QPalette::Disabled;
  if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QTreeWidget*>(w))
    return {p.color(group, QPalette::Text), p.color(group, QPalette::Base)};
  if (qobject_cast<QPushButton*>(w))
    return {p.color(group, QPalette::ButtonText), p.color(group, QPalette::Button)};
  return {p.color(group, w->foregroundRole()), p.color(group, QPalette::Window)};
}

// What is wrong with Window as it stands, one line per fault.
std::string Faults(QWidget* Window, const std::string& Where) {
  std::ostringstream faults;
  const std::vector<QWidget*> controls = Controls(Window);
  for (QWidget* w : controls) {
    const auto [need, have] = CaptionRoom(w);
    if (need > have)
      faults << Where << ": " << Name(w) << " needs " << need << " px, has " << have << "\n";
    if (auto* box = qobject_cast<QGroupBox*>(w->parentWidget());
        box && box->fontMetrics().horizontalAdvance(box->title()) + 16 > box->width())
      faults << Where << ": the title of " << Name(box) << " is wider than the box\n";
  }
  for (std::size_t i = 0; i < controls.size(); ++i)
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      QWidget *a = controls[i], *b = controls[j];
      if (Together(a, b)) continue;
      if (Occupied(a, Window).adjusted(-1, -1, 1, 1).intersects(Occupied(b, Window)))
        faults << Where << ": " << Name(a) << " and " << Name(b) << " touch\n";
    }
  if (auto* tabs = Window->findChild<QTabBar*>()) {
    const QRect last = tabs->tabRect(tabs->count() - 1);
    if (last.right() >= tabs->parentWidget()->width())
      faults << Where << ": the tabs do not fit\n";
  }
  return faults.str();
}

// Each page's controls are reached by Tab in reading order: down the page,
// and left to right along a row.
std::string TabOrderFaults(QWidget* Window, QWidget* Page) {
  std::vector<QWidget*> chain;
  for (QWidget* w = Window->nextInFocusChain(); w != Window; w = w->nextInFocusChain())
    if (Page->isAncestorOf(w) && !w->objectName().isEmpty() &&
        !w->objectName().startsWith("qt_") && (w->focusPolicy() & Qt::TabFocus))
      chain.push_back(w);
  std::ostringstream faults;
  for (std::size_t i = 1; i < chain.size(); ++i) {
    const QRect a(chain[i - 1]->mapTo(Page, QPoint(0, 0)), chain[i - 1]->size());
    const QRect b(chain[i]->mapTo(Page, QPoint(0, 0)), chain[i]->size());
    const bool sameRow = std::abs(a.center().y() - b.center().y()) < 8;
    if (sameRow ? b.x() < a.x() : b.center().y() < a.center().y())
      faults << Name(chain[i - 1]) << " comes before " << Name(chain[i]) << "\n";
  }
  return faults.str();
}

class LayoutTest : public ::testing::Test, public test::StartFormFixture {
 protected:
  void TearDown() override {
    form_.reset();
    if (app_) app_->Release();
    QApplication::setPalette(QPalette());
  }
  TStartForm& WithPage() {
    TStartForm& form = Shown();
    app_ = TLSApp::Create();
    EXPECT_EQ(app_->Start(Window(kPage)), S_OK);
    return form;
  }
  void ChooseLanguage(TStartForm& Form, const char* Language) {
    Form.cmbLang->setEditText(Language);
    Form.cmbLangChange();
  }
  TLSApp* app_ = nullptr;
};

TEST_F(LayoutTest, EveryPageOfTheStartWindowFitsInEveryLanguage) {
  TStartForm& form = WithPage();
  std::string faults;
  for (const char* language : kLanguages) {
    ChooseLanguage(form, language);
    for (QWidget* page : {form.tshGeneral, form.tshAdvanced, form.tshAbout}) {
      form.PageControl1->setCurrentWidget(page);
      faults += Faults(&form, std::string(language) + " " + Name(page));
    }
  }
  EXPECT_EQ(faults, "");
}

TEST_F(LayoutTest, TheProgressWindowAndTheCredentialsDialogFitInEveryLanguage) {
  std::string faults;
  for (const char* language : kLanguages) {
    const TLanguageFile file =
        TLanguageFile::Load(std::string(LEAFSTASH_LANG_DIR) + "/" + language + ".lng");
    ApplySharedTexts(file, Process().Texts);
    TJobDriver driver;
    TMainForm progress(driver);
    progress.show();
    progress.ShowJob(std::string(120, 'W'), "/home/ann/" + std::string(120, 'f') + "/");
    // The longest counts a large job shows.
    const TSharedTexts& t = Process().Texts;
    progress.lblStatus->setText(QString::fromStdString(
        "12345 " + t.SaveWPStr + " 12345 (100%) " + t.FileRecStr));
    progress.lblSpeed->setText(QString::fromStdString("1234567890 " + t.ByteRecStr + " (1234.5 KB/s)"));
    faults += Faults(&progress, std::string(language) + " progress");
    TAuthForm credentials;
    credentials.SetTexts(Process().Texts);
    credentials.SetUrl("http://h.test/" + std::string(100, 'x'));
    credentials.show();
    faults += Faults(&credentials, std::string(language) + " credentials");
  }
  EXPECT_EQ(faults, "");
}

TEST_F(LayoutTest, TabFollowsTheReadingOrderOfEachPage) {
  TStartForm& form = WithPage();
  for (QWidget* page : {form.tshGeneral, form.tshAdvanced}) {
    form.PageControl1->setCurrentWidget(page);
    EXPECT_EQ(TabOrderFaults(&form, page), "") << Name(page);
  }
}

TEST_F(LayoutTest, InADarkThemeEveryTextStaysReadable) {
  // The theme changes while the window is open: the colours the window
  // chose itself are chosen again.
  TStartForm& form = WithPage();
  form.chbURL->setChecked(false);
  QApplication::setPalette(DarkPalette());
  QCoreApplication::sendPostedEvents();  // the change reaches the widgets
  std::string faults;
  for (QWidget* page : {form.tshGeneral, form.tshAdvanced, form.tshAbout}) {
    form.PageControl1->setCurrentWidget(page);
    for (QWidget* w : Controls(&form)) {
      const auto [text, background] = Colours(w);
      if (Contrast(text, background) < 3.0)
        faults += Name(w) + ": " + text.name().toStdString() + " on " +
                  background.name().toStdString() + "\n";
    }
  }
  EXPECT_EQ(faults, "");
}

}  // namespace
}  // namespace leafstash
