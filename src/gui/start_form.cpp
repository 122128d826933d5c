#include "gui/start_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>

#include "gui/app_title.h"
#include "gui/beep.h"
#include "gui/error_box.h"
#include "gui/help_window.h"
#include "gui/links_view.h"
#include "core/ls_app.h"
#include "gui/open_address.h"
#include "gui/refusal_note.h"
#include "core/process_values.h"
#include "ui_start_form.h"
#include "engine/url_list.h"
#include "gui/up_down.h"
#include "gui/version_check.h"

static bool InitIconResources() {
  Q_INIT_RESOURCE(leafstash);
  return true;
}

namespace leafstash {
namespace {

constexpr const char* kMailAddress = "mailto:leafstash@leafstash.example";

// The size the window's client area and its pages were designed for.
constexpr QSize kDesignedWindow(572, 414);
constexpr QSize kDesignedPage(564, 386);

constexpr const char* kServerWarning =
    "There are still active COM objects in this application.  One or more clients may have "
    "references to these objects, so manually closing "
    "this application may cause those client application(s) to fail.\r\n\r\n"
    "Are you sure you want to close this application?";

QFont PixelFont(const QString& Family, int Pixels, bool Bold = false) {
  QFont font(Family);
  font.setPixelSize(Pixels);
  font.setBold(Bold);
  return font;
}

void OpenAddress(const std::string& Address) {
  OpenWebOrMailAddress(QUrl(QString::fromStdString(Address)));
}

}  // namespace

void EnableEdit(QWidget* Edit, bool Enabled) {
  QPalette palette = Edit->palette();
  const QPalette standard = QApplication::palette(Edit);
  palette.setColor(QPalette::Base, standard.color(Enabled ? QPalette::Base : QPalette::Button));
  Edit->setPalette(palette);
  Edit->setEnabled(Enabled);
}

TStartForm::TStartForm(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      VersionCheck(std::make_unique<TNewVersionCheck>(this)),
      ui_(std::make_unique<Ui::TStartForm>()) {
  ui_->setupUi(this);
  SetUpControls();
  ComServer().PageCapture = [this](const Variant& WB) { FillLinkList(WB); };
  Process().ReportError = [](const std::string& Message) { ShowErrorBox(nullptr, Message); };
}

TStartForm::~TStartForm() {
  ComServer().PageCapture = nullptr;
  Process().ReportError = nullptr;
}

void TStartForm::SetUpControls() {
  auto& u = *ui_;
  PageControl1 = u.PageControl1;
  tshGeneral = u.tshGeneral, tshAdvanced = u.tshAdvanced, tshAbout = u.tshAbout;
  lblDestFld = u.lblDestFld, lblSubFld = u.lblSubFld, lblWait = u.lblWait, WaitPanel = u.WaitPanel;
  edFolder = u.edFolder, edSubFolder = u.edSubFolder;
  btnDestFld = u.btnDestFld, btnAll = u.btnAll, btnInverse = u.btnInverse;
  btnInternal = u.btnInternal, btnStart = u.btnStart;
  chbSubFld = u.chbSubFld, chbImg = u.chbImg, chbShown = u.chbShown;
  chbSingleFile = u.chbSingleFile, chbWarc = u.chbWarc;
  LinksView = u.LinksView;
  chbExter = u.chbExter, chbURL = u.chbURL, chbExist = u.chbExist;
  chbAutoSkip = u.chbAutoSkip, chbNewVer = u.chbNewVer;
  edURL = u.edURL, edSec = u.edSec, edThread = u.edThread, edNewVer = u.edNewVer;
  edUserS = u.edUserS, edPassS = u.edPassS;
  udSec = u.udSec, udThread = u.udThread, udNewVer = u.udNewVer;
  lblSec = u.lblSec, lblThread = u.lblThread, lblNewVer = u.lblNewVer, lblLang = u.lblLang;
  lblUser = u.lblUser, lblPass = u.lblPass;
  cmbLang = u.cmbLang;
  grpAuth = u.grpAuth;
  lblName = u.lblName, lblVersion = u.lblVersion, Label5 = u.Label5, Label7 = u.Label7;
  chbOptDef = u.chbOptDef;
  btnHelp = u.btnHelp, btnExit = u.btnExit;

  setFont(PixelFont("Arial", 11));
  WaitPanel->setFont(PixelFont("Arial", 19));
  lblWait->setFont(PixelFont("Arial", 21, true));
  // A condensed heavy face where the desktop has no Impact.
  QFont name = PixelFont("Impact", 43);
  name.setFamilies({"Impact", "Liberation Sans Narrow", "DejaVu Sans Condensed", "Liberation Sans"});
  name.setWeight(QFont::Black);
  lblName->setFont(name);
  lblVersion->setFont(PixelFont("Arial", 16, true));
  for (QLabel* link : {Label5, Label7}) {
    QFont font = PixelFont("Arial", 11, true);
    font.setUnderline(true);
    link->setFont(font);
    link->installEventFilter(this);
  }
  static const bool resources = InitIconResources();
  (void)resources;
  QIcon icon(":/icons/leafstash.png");
  icon.addFile(":/icons/leafstash-32.png");
  setWindowIcon(icon);
  u.imgIcon->setPixmap(icon.pixmap(32, 32));

  setMinimumSize(580, 441);
  resize(580, 441);
  anchors_.Anchor(PageControl1, akLeft | akTop | akRight | akBottom, kDesignedWindow);
  anchors_.Anchor(chbOptDef, akLeft | akBottom, kDesignedWindow);
  anchors_.Anchor(btnHelp, akRight | akBottom, kDesignedWindow);
  anchors_.Anchor(btnExit, akRight | akBottom, kDesignedWindow);
  anchors_.Anchor(edFolder, akLeft | akTop | akRight, kDesignedPage);
  anchors_.Anchor(btnDestFld, akTop | akRight, kDesignedPage);
  anchors_.Anchor(edSubFolder, akLeft | akTop | akRight, kDesignedPage);
  anchors_.Anchor(chbSubFld, akTop | akRight, kDesignedPage);
  anchors_.Anchor(LinksView, akLeft | akTop | akRight | akBottom, kDesignedPage);
  // The button row and Start are placed by ArrangeGeneralPage.
  tshGeneral->installEventFilter(this);
  PageControl1->tabBar()->installEventFilter(this);
  RefusalNote = new TRefusalNote(this);
  ShowLinksInLinkColour();
  SetTabOrder();

  LinksView->setColumnWidth(0, 40);
  LinksView->setColumnWidth(1, 200);
  LinksView->setColumnWidth(2, 50);
  LinksView->setColumnWidth(3, 200);
  udSec->SetRange(1, 1000);
  udSec->SetPosition(60);
  udSec->SetAssociate(edSec);
  udThread->SetRange(1, 100);
  udThread->SetPosition(5);
  udThread->SetAssociate(edThread);
  udNewVer->SetRange(1, 1000);
  udNewVer->SetPosition(30);
  udNewVer->SetAssociate(edNewVer);
  EnableEdit(edSubFolder, false);
  EnableEdit(edURL, false);
  EnableEdit(edSec, false);
  udSec->setEnabled(false);
  EnableEdit(edNewVer, false);
  udNewVer->setEnabled(false);
  chbOptDef->hide();
  // Beneath every other control, like the panel's caption it stands for.
  lblWait->lower();
  cmbLang->setInsertPolicy(QComboBox::NoInsert);
  setWindowIconText(QString::fromStdString(ApplicationTitle()));
  PageControl1->setCurrentWidget(tshAbout);

  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (programPage_) {
      shownPage_ = index;
    } else if (!PageControl1Changing()) {
      SetPage(PageControl1->widget(shownPage_));
    } else {
      shownPage_ = index;
      PageControl1Change();
    }
  });
  connect(btnAll, &QPushButton::clicked, this, [this] { btnAllClick(); });
  connect(btnInverse, &QPushButton::clicked, this, [this] { btnInverseClick(); });
  connect(btnInternal, &QPushButton::clicked, this, [this] { btnInternalClick(); });
  connect(btnStart, &QPushButton::clicked, this, [this] { btnStartClick(); });
  connect(btnDestFld, &QPushButton::clicked, this, [this] { btnDestFldClick(); });
  connect(btnExit, &QPushButton::clicked, this, [this] { btnExitClick(); });
  connect(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
  // A change of state, by the user or the program, runs the handler.
  connect(chbSubFld, &QCheckBox::toggled, this, [this] { chbSubFldClick(); });
  connect(chbURL, &QCheckBox::toggled, this, [this] { chbURLClick(); });
  connect(chbAutoSkip, &QCheckBox::toggled, this, [this] { chbAutoSkipClick(); });
  connect(chbNewVer, &QCheckBox::toggled, this, [this] { chbNewVerClick(); });
  // Typed or chosen by the user; the program's own changes do not count.
  connect(cmbLang, &QComboBox::textActivated, this, [this] { cmbLangChange(); });
  connect(cmbLang->lineEdit(), &QLineEdit::textEdited, this, [this] { cmbLangChange(); });
}

void TStartForm::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TStartForm::FormShow() {
  SetPage(tshAbout);
  UpdatePageLock();
  LoadOptions();
  if (const QScreen* display = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(display->availableGeometry().center());
    move(frame.topLeft());
  }
  ApplyLanguage();
  CheckNewVersion();
}

void TStartForm::SetPage(QWidget* Page) {
  programPage_ = true;
  PageControl1->setCurrentWidget(Page);
  programPage_ = false;
  shownPage_ = PageControl1->currentIndex();
}

bool TStartForm::PageControl1Changing() {
  if (AppObject()) return true;
  MessageBeep(MB_ICONWARNING_BEEP);
  return false;
}

void TStartForm::UpdatePageLock() {
  const bool open = AppObject() != nullptr;
  for (QWidget* page : {tshGeneral, tshAdvanced})
    PageControl1->setTabEnabled(PageControl1->indexOf(page), open);
}

void TStartForm::PageControl1Change() {
  RefusalNote->hide();
  chbOptDef->setVisible(PageControl1->currentWidget() != tshAbout);
}

bool TStartForm::eventFilter(QObject* Watched, QEvent* Event) {
  // A left click that ends on the link label.
  if (Event->type() == QEvent::MouseButtonRelease && (Watched == Label5 || Watched == Label7)) {
    const auto* mouse = static_cast<QMouseEvent*>(Event);
    const auto* label = static_cast<QWidget*>(Watched);
    if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint()))
      Watched == Label5 ? Label5Click() : Label7Click();
  }
  // A locked page's tab is disabled; a click on it still beeps and says why.
  QTabBar* tabs = PageControl1->tabBar();
  if (Event->type() == QEvent::MouseButtonPress && Watched == tabs) {
    const int index = tabs->tabAt(static_cast<QMouseEvent*>(Event)->position().toPoint());
    if (index >= 0 && !tabs->isTabEnabled(index) && !PageControl1Changing()) {
      RefusalNote->ShowFor(tabs, Say("msgLocked"), tabs->tabRect(index));
      return true;
    }
  }
  if (Event->type() == QEvent::Resize && Watched == tshGeneral) ArrangeGeneralPage();
  return QWidget::eventFilter(Watched, Event);
}

void TStartForm::ArrangeGeneralPage() {
  // The buttons above the list span it, a pixel apart and a pixel above
  // it; Start stands left of Help as Help stands left of Exit, level with
  // them (Help is 159 px from the window's right, 35 px from its bottom).
  const int right = tshGeneral->width() - 4;
  const int top = LinksView->y() - 1 - btnAll->height();
  const QList<QPushButton*> row{btnAll, btnInverse, btnInternal};
  const int width = (right - 2 - 2) / 3;
  for (int i = 0; i < row.size(); ++i) {
    const int left = 2 + i * (width + 1);
    row[i]->setGeometry(left, top, i + 1 == row.size() ? right - left : width, row[i]->height());
  }
  const QPoint origin = tshGeneral->mapTo(this, QPoint(0, 0));
  btnStart->move(this->width() - 159 - 1 - btnStart->width() - origin.x(),
                 height() - 35 - origin.y());
}

void TStartForm::keyPressEvent(QKeyEvent* Event) {
  // Enter presses the button that has the focus, and Start anywhere else
  // on the General page.
  const bool enter = Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter;
  const bool plain = (Event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (enter && plain && PageControl1->currentWidget() == tshGeneral) {
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    (focused ? focused : btnStart)->click();
    return;
  }
  QWidget::keyPressEvent(Event);
}

void TStartForm::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  // A new theme: the colours this window chose are chosen again from it.
  if (Event->type() == QEvent::PaletteChange && RefusalNote) {
    ShowLinksInLinkColour();
    chbSubFldClick();
    chbURLClick();
    chbAutoSkipClick();
    chbNewVerClick();
  }
}

void TStartForm::ShowLinksInLinkColour() {
  for (QLabel* link : {Label5, Label7}) {
    QPalette palette = link->palette();
    // The window's own, which a new theme reaches first.
    palette.setColor(QPalette::WindowText, this->palette().color(QPalette::Link));
    link->setPalette(palette);
  }
}

void TStartForm::SetTabOrder() {
  // Each page in reading order, then the buttons under the pages.
  const QList<QWidget*> order{
      edFolder, btnDestFld, edSubFolder, chbSubFld,   chbImg, chbShown, btnAll,   btnInverse,
      btnInternal, LinksView, btnStart,  chbExter,    chbURL, edURL,    chbExist, chbAutoSkip,
      edSec,    edThread,   chbNewVer,   edNewVer,    chbSingleFile, cmbLang, chbWarc, edUserS,
      edPassS,  chbOptDef,
      btnHelp,  btnExit};
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TStartForm::Label5Click() { OpenAddress(Process().SiteURL); }
void TStartForm::Label7Click() { OpenAddress(kMailAddress); }

void TStartForm::CheckNewVersion() { VersionCheck->CheckNewVersion(); }

int TStartForm::ActiveHelpContext() const {
  const QWidget* page = PageControl1->currentWidget();
  return page == tshGeneral ? 12 : page == tshAdvanced ? 13 : 14;
}

void TStartForm::btnHelpClick() {
  if (!HelpWindow) HelpWindow = std::make_unique<THelpWindow>(this);
  HelpWindow->ShowContext(HelpFile, ActiveHelpContext());
}

void TStartForm::btnExitClick() {
  SaveOptions();
  close();
}

void TStartForm::closeEvent(QCloseEvent* Event) {
  // A client that still holds the automation object may fail without it.
  if (ComServer().ClientReferences() > 0) {
    QMessageBox box(QMessageBox::Warning, "COM Server Warning", kServerWarning,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    if (box.exec() != QMessageBox::Yes) {
      Event->ignore();
      return;
    }
  }
  FormCloseQuery();
  Event->accept();
  if (ComServer().EndProcess) ComServer().EndProcess();
}

bool TStartForm::FormCloseQuery() {
  Process().BrowserWindow = Variant::Null();
  ReleaseAppObject();
  return true;
}

void TStartForm::chbSubFldClick() { EnableEdit(edSubFolder, chbSubFld->isChecked()); }
void TStartForm::chbURLClick() { EnableEdit(edURL, chbURL->isChecked()); }

void TStartForm::chbAutoSkipClick() {
  EnableEdit(edSec, chbAutoSkip->isChecked());
  udSec->setEnabled(chbAutoSkip->isChecked());
}

void TStartForm::chbNewVerClick() {
  EnableEdit(edNewVer, chbNewVer->isChecked());
  udNewVer->setEnabled(chbNewVer->isChecked());
}

}  // namespace leafstash
