#include "ui/qt/frm_config.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include "ui/config_dialog_services.h"

namespace artnet {
namespace {

constexpr int kClientWidthTwips = 5535;
constexpr int kClientHeightTwips = 4335;
constexpr double kTwipsPerInch = 1440.0;

// The layout was made for an 8-point face; smaller steps are tried until
// every fixed caption fits its box.
constexpr double kLargestPointSize = 8.0;
constexpr double kSmallestPointSize = 5.5;
constexpr double kPointSizeStep = 0.25;

// Node names arrive as 8-bit characters; Latin-1 maps every byte to one
// character, so nothing is dropped.
QString FromNodeText(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromText(const std::string& text) { return QString::fromStdString(text); }

// Keys as on a Windows scroll bar: Left, Up and Page Up lower the value;
// Right, Down and Page Down raise it. Qt raises on Up and Page Up.
class ClassicScrollBar final : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Up:
        triggerAction(SliderSingleStepSub);
        break;
      case Qt::Key_Down:
        triggerAction(SliderSingleStepAdd);
        break;
      case Qt::Key_PageUp:
        triggerAction(SliderPageStepSub);
        break;
      case Qt::Key_PageDown:
        triggerAction(SliderPageStepAdd);
        break;
      default:
        QScrollBar::keyPressEvent(event);
        return;
    }
    event->accept();
  }
};

}  // namespace

frmConfig::frmConfig(ConfigDialogServices& services, QWidget* parent)
    : QDialog(parent), logic_(services, *this) {
  setObjectName(QStringLiteral("frmConfig"));
  setWindowTitle(QStringLiteral("ArtNet configuration"));
  // A fixed-size tool window: close box only, and no taskbar button.
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setSizeGripEnabled(false);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) dpi_ = screen->logicalDotsPerInchX();

  CreateControls();
  ConnectControls();
  FitFont();
  setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
  CentreOnScreen();

  scrOutputUniverse->setFocus(Qt::OtherFocusReason);
  logic_.Form_Load();
}

frmConfig::~frmConfig() {
  // The children outlive logic_ by a little while the base class deletes
  // them; none of their signals may reach it then.
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

int frmConfig::Px(int twips) const { return qRound(twips * dpi_ / kTwipsPerInch); }

void frmConfig::Place(QWidget* widget, int left, int top, int width, int height) const {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

void frmConfig::CreateControls() {
  auto frame = [this](QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setFocusPolicy(Qt::NoFocus);
    return box;
  };
  auto label = [](QWidget* parent, const char* name, const QString& caption) {
    auto* text = new QLabel(caption, parent);
    text->setObjectName(QLatin1String(name));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setFocusPolicy(Qt::NoFocus);
    return text;
  };
  auto valueLabel = [&label](QWidget* parent, const char* name) {
    QLabel* text = label(parent, name, QStringLiteral("0"));
    text->setAlignment(Qt::AlignCenter);
    return text;
  };
  auto bar = [](QWidget* parent, const char* name) {
    auto* scroll = new ClassicScrollBar(Qt::Horizontal, parent);
    scroll->setObjectName(QLatin1String(name));
    scroll->setRange(ConfigDialogLogic::kBarMin, ConfigDialogLogic::kBarMax);
    scroll->setSingleStep(1);
    scroll->setPageStep(1);
    scroll->setValue(0);
    // Like a classic Windows bar: Left lowers, Right raises (Qt's horizontal
    // bar swaps them by default), and it takes focus.
    scroll->setInvertedControls(false);
    scroll->setFocusPolicy(Qt::StrongFocus);
    return scroll;
  };
  auto button = [](QWidget* parent, const char* name, const QString& caption) {
    auto* push = new QPushButton(caption, parent);
    push->setObjectName(QLatin1String(name));
    push->setAutoDefault(true);
    return push;
  };

  Frame3 = frame(this, "Frame3", QStringLiteral("\"Device\" configuration"));
  Place(Frame3, 120, 120, 5295, 615);
  Label3 = label(Frame3, "Label3", QStringLiteral("SubNet:"));
  Place(Label3, 120, 270, 735, 255);
  lblSubNet = valueLabel(Frame3, "lblSubNet");
  Place(lblSubNet, 840, 240, 375, 255);
  scrSubNet = bar(Frame3, "scrSubNet");
  Place(scrSubNet, 1320, 240, 495, 255);
  Label5 = label(Frame3, "Label5", QStringLiteral("Broadcast adress:"));
  Place(Label5, 2340, 270, 1335, 255);
  txtBroadcast = new QLineEdit(Frame3);
  txtBroadcast->setObjectName(QStringLiteral("txtBroadcast"));
  txtBroadcast->setMaxLength(32767);  // as long as QLineEdit allows
  Place(txtBroadcast, 3720, 240, 1455, 285);

  Frame2 = frame(this, "Frame2", QStringLiteral("Output node"));
  Place(Frame2, 120, 840, 5295, 2175);
  Label4 = label(Frame2, "Label4", QStringLiteral("Universe:"));
  Place(Label4, 1680, 270, 735, 255);
  lblOutputUniverse = valueLabel(Frame2, "lblOutputUniverse");
  Place(lblOutputUniverse, 2400, 240, 375, 255);
  scrOutputUniverse = bar(Frame2, "scrOutputUniverse");
  Place(scrOutputUniverse, 2880, 240, 495, 255);

  Frame1 = frame(Frame2, "Frame1", QStringLiteral("Output selection helper"));
  Place(Frame1, 120, 600, 5055, 1455);
  Label1 = label(Frame1, "Label1", QStringLiteral("Node:"));
  Place(Label1, 120, 240, 495, 255);
  cmbNodes = new QComboBox(Frame1);
  cmbNodes->setObjectName(QStringLiteral("cmbNodes"));
  cmbNodes->setEditable(false);
  Place(cmbNodes, 120, 480, 3975, 315);
  cmdScan = button(Frame1, "cmdScan", QStringLiteral("Scan"));
  Place(cmdScan, 4080, 480, 855, 315);
  Label2 = label(Frame1, "Label2", QStringLiteral("Output:"));
  Place(Label2, 120, 840, 1335, 255);
  optPortGroup = new QButtonGroup(this);
  optPortGroup->setObjectName(QStringLiteral("optPortGroup"));
  optPortGroup->setExclusive(true);
  static constexpr std::array<int, 4> kPortLeft{240, 1440, 2640, 3840};
  static constexpr std::array<int, 4> kPortWidth{1215, 1215, 1215, 1095};
  for (int i = 0; i < ConfigDialogLogic::kPortCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    auto* option = new QRadioButton(QStringLiteral("Port %1").arg(i + 1), Frame1);
    option->setObjectName(QStringLiteral("optPort%1").arg(i));
    option->setProperty("Index", i);
    Place(option, kPortLeft[k], 1080, kPortWidth[k], 255);
    optPortGroup->addButton(option, i);
    optPort[k] = option;
  }

  Frame4 = frame(this, "Frame4", QStringLiteral("Input node"));
  Place(Frame4, 120, 3120, 5295, 615);
  Label7 = label(Frame4, "Label7", QStringLiteral("Universe:"));
  Place(Label7, 1680, 270, 735, 255);
  lblInputUniverse = valueLabel(Frame4, "lblInputUniverse");
  Place(lblInputUniverse, 2400, 240, 375, 255);
  scrInputUniverse = bar(Frame4, "scrInputUniverse");
  Place(scrInputUniverse, 2880, 240, 495, 255);

  cmdOk = button(this, "cmdOk", QStringLiteral("OK"));
  Place(cmdOk, 3120, 3840, 1095, 375);
  cmdOk->setDefault(true);
  cmdCancel = button(this, "cmdCancel", QStringLiteral("Cancel"));
  Place(cmdCancel, 4320, 3840, 1095, 375);

  const std::array<QWidget*, 12> tabOrder{scrOutputUniverse, scrSubNet, txtBroadcast, scrInputUniverse,
                                          cmdScan,           optPort[0], optPort[1],  optPort[2],
                                          optPort[3],        cmbNodes,   cmdOk,       cmdCancel};
  for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i) {
    QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
  }
}

void frmConfig::ConnectControls() {
  for (ConfigBar which : {ConfigBar::SubNet, ConfigBar::OutputUniverse, ConfigBar::InputUniverse}) {
    QScrollBar* scroll = Bar(which);
    // The display follows the settled value, not the thumb while dragged.
    connect(scroll, &QScrollBar::valueChanged, this, [this, scroll, which] {
      if (!scroll->isSliderDown()) Run([&] { logic_.BarChange(which); });
    });
    connect(scroll, &QScrollBar::sliderReleased, this, [this, which] { Run([&] { logic_.BarChange(which); }); });
  }
  connect(cmdScan, &QPushButton::clicked, this, [this] { Run([&] { logic_.cmdScan_Click(); }); });
  // activated, unlike currentIndexChanged, fires only for the user's picks.
  connect(cmbNodes, &QComboBox::activated, this, [this] { Run([&] { logic_.cmbNodes_Click(); }); });
  connect(optPortGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) Run([&] { logic_.optPort_Click(id); });
  });
  connect(cmdOk, &QPushButton::clicked, this, [this] { Run([&] { logic_.cmdOk_Click(); }); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { Run([&] { logic_.cmdCancel_Click(); }); });
}

template <typename Handler>
void frmConfig::Run(Handler&& handler) {
  // A handler may pump events (a scan) during which the dialog can be
  // destroyed; nothing of it is touched afterwards then.
  QPointer<frmConfig> self(this);
  try {
    handler();
  } catch (...) {
    if (self == nullptr) return;
    if (!error_) error_ = std::current_exception();
    QDialog::done(QDialog::Rejected);
  }
}

void frmConfig::reject() {
  Run([&] { logic_.cmdCancel_Click(); });
}

bool frmConfig::TextFits(const QFont& font) const {
  const QFontMetrics metrics(font);
  auto fits = [&](const QWidget* widget, const QString& text, int extraWidth) {
    return metrics.horizontalAdvance(text) + extraWidth <= widget->width() && metrics.height() <= widget->height();
  };
  for (const QLabel* text : {Label1, Label2, Label3, Label4, Label5, Label7}) {
    if (!fits(text, text->text(), 0)) return false;
  }
  // Value displays show one hex digit; the widest one decides.
  for (const QLabel* text : {lblSubNet, lblOutputUniverse, lblInputUniverse}) {
    if (!fits(text, QStringLiteral("W"), 0)) return false;
  }
  const QStyle* look = style();
  for (const QRadioButton* option : optPort) {
    const int indicator = look->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option) +
                          look->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option);
    // The longest caption a node can give it.
    const QString longest = QStringLiteral("Port %1 (Out)").arg(option->property("Index").toInt() + 1);
    if (!fits(option, longest, indicator)) return false;
  }
  for (const QPushButton* push : {cmdScan, cmdOk, cmdCancel}) {
    const int margins = 2 * (look->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push) +
                             look->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, push));
    if (!fits(push, push->text(), margins)) return false;
  }
  for (const QGroupBox* box : {Frame1, Frame2, Frame3, Frame4}) {
    if (!fits(box, box->title(), 16)) return false;
  }
  // A full dotted address must show whole in the text box.
  const int textMargins = 2 * (look->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, txtBroadcast) + 2);
  if (!fits(txtBroadcast, QStringLiteral("255.255.255.255"), textMargins)) return false;
  return metrics.height() + 4 <= cmbNodes->height();
}

void frmConfig::FitFont() {
  QFont font = QApplication::font(this);
  double size = kLargestPointSize;
  font.setPointSizeF(size);
  while (size > kSmallestPointSize && !TextFits(font)) {
    size -= kPointSizeStep;
    font.setPointSizeF(size);
  }
  setFont(font);
}

void frmConfig::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  move(area.center() - QPoint(Px(kClientWidthTwips) / 2, Px(kClientHeightTwips) / 2));
}

QScrollBar* frmConfig::Bar(ConfigBar bar) const {
  switch (bar) {
    case ConfigBar::SubNet:
      return scrSubNet;
    case ConfigBar::OutputUniverse:
      return scrOutputUniverse;
    case ConfigBar::InputUniverse:
      return scrInputUniverse;
  }
  return scrSubNet;
}

QLabel* frmConfig::BarLabel(ConfigBar bar) const {
  switch (bar) {
    case ConfigBar::SubNet:
      return lblSubNet;
    case ConfigBar::OutputUniverse:
      return lblOutputUniverse;
    case ConfigBar::InputUniverse:
      return lblInputUniverse;
  }
  return lblSubNet;
}

void frmConfig::SetBarValue(ConfigBar bar, int value) { Bar(bar)->setValue(value); }
int frmConfig::BarValue(ConfigBar bar) const { return Bar(bar)->value(); }
void frmConfig::SetBarLabel(ConfigBar bar, const std::string& text) { BarLabel(bar)->setText(FromText(text)); }

void frmConfig::SetBroadcastText(const std::string& text) { txtBroadcast->setText(FromText(text)); }
std::string frmConfig::BroadcastText() const { return txtBroadcast->text().toStdString(); }

void frmConfig::ClearNodeEntries() {
  cmbNodes->clear();
  cmbNodes->view()->setMinimumWidth(0);
}

void frmConfig::AddNodeEntry(const std::string& text) {
  const QString entry = FromNodeText(text);
  cmbNodes->addItem(entry);
  // The closed list is narrow; the open one widens to show whole entries.
  const int wanted = cmbNodes->fontMetrics().horizontalAdvance(entry) + 2 * Px(120) +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, cmbNodes);
  if (wanted > cmbNodes->view()->minimumWidth()) cmbNodes->view()->setMinimumWidth(wanted);
}

void frmConfig::SetCurrentNodeEntry(int index) { cmbNodes->setCurrentIndex(index); }
int frmConfig::CurrentNodeEntry() const { return cmbNodes->currentIndex(); }

void frmConfig::SetPortCaption(int port, const std::string& caption) {
  optPort[static_cast<std::size_t>(port)]->setText(FromText(caption));
}

void frmConfig::SetPortChecked(int port, bool checked) {
  QRadioButton* option = optPort[static_cast<std::size_t>(port)];
  if (option->isChecked() == checked) return;
  // An exclusive group refuses to have its checked button unchecked.
  const bool exclusive = optPortGroup->exclusive();
  if (!checked) optPortGroup->setExclusive(false);
  option->setChecked(checked);
  optPortGroup->setExclusive(exclusive);
}

void frmConfig::SetPortEnabled(int port, bool enabled) { optPort[static_cast<std::size_t>(port)]->setEnabled(enabled); }

void frmConfig::CloseDialog() { QDialog::done(QDialog::Rejected); }

}  // namespace artnet
