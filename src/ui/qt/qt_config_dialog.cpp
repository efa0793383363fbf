#include "ui/qt/qt_config_dialog.h"

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

QtConfigDialog::QtConfigDialog(ConfigDialogServices& services, QWidget* parent)
    : QDialog(parent), behaviour_(services, *this) {
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

  outputUniverseBar->setFocus(Qt::OtherFocusReason);
  behaviour_.OnLoad();
}

QtConfigDialog::~QtConfigDialog() {
  // The children outlive behaviour_ by a little while the base class deletes
  // them; none of their signals may reach it then.
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

int QtConfigDialog::Px(int twips) const { return qRound(twips * dpi_ / kTwipsPerInch); }

void QtConfigDialog::Place(QWidget* widget, int left, int top, int width, int height) const {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

void QtConfigDialog::CreateControls() {
  auto frame = [](QWidget* parent, const char* name, const QString& caption) {
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
    scroll->setRange(ConfigDialogBehaviour::kBarMin, ConfigDialogBehaviour::kBarMax);
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

  deviceFrame = frame(this, "Frame3", QStringLiteral("\"Device\" configuration"));
  Place(deviceFrame, 120, 120, 5295, 615);
  subnetCaption = label(deviceFrame, "Label3", QStringLiteral("SubNet:"));
  Place(subnetCaption, 120, 270, 735, 255);
  subnetValueLabel = valueLabel(deviceFrame, "lblSubNet");
  Place(subnetValueLabel, 840, 240, 375, 255);
  subnetBar = bar(deviceFrame, "scrSubNet");
  Place(subnetBar, 1320, 240, 495, 255);
  broadcastCaption = label(deviceFrame, "Label5", QStringLiteral("Broadcast adress:"));
  Place(broadcastCaption, 2340, 270, 1335, 255);
  broadcastEdit = new QLineEdit(deviceFrame);
  broadcastEdit->setObjectName(QStringLiteral("txtBroadcast"));
  broadcastEdit->setMaxLength(32767);  // as long as QLineEdit allows
  Place(broadcastEdit, 3720, 240, 1455, 285);

  outputFrame = frame(this, "Frame2", QStringLiteral("Output node"));
  Place(outputFrame, 120, 840, 5295, 2175);
  outputUniverseCaption = label(outputFrame, "Label4", QStringLiteral("Universe:"));
  Place(outputUniverseCaption, 1680, 270, 735, 255);
  outputUniverseValueLabel = valueLabel(outputFrame, "lblOutputUniverse");
  Place(outputUniverseValueLabel, 2400, 240, 375, 255);
  outputUniverseBar = bar(outputFrame, "scrOutputUniverse");
  Place(outputUniverseBar, 2880, 240, 495, 255);

  nodePickerFrame = frame(outputFrame, "Frame1", QStringLiteral("Output selection helper"));
  Place(nodePickerFrame, 120, 600, 5055, 1455);
  nodeCaption = label(nodePickerFrame, "Label1", QStringLiteral("Node:"));
  Place(nodeCaption, 120, 240, 495, 255);
  nodeList = new QComboBox(nodePickerFrame);
  nodeList->setObjectName(QStringLiteral("cmbNodes"));
  nodeList->setEditable(false);
  Place(nodeList, 120, 480, 3975, 315);
  scanButton = button(nodePickerFrame, "cmdScan", QStringLiteral("Scan"));
  Place(scanButton, 4080, 480, 855, 315);
  portsCaption = label(nodePickerFrame, "Label2", QStringLiteral("Output:"));
  Place(portsCaption, 120, 840, 1335, 255);
  portButtonGroup = new QButtonGroup(this);
  portButtonGroup->setObjectName(QStringLiteral("optPortGroup"));
  portButtonGroup->setExclusive(true);
  static constexpr std::array<int, 4> kPortLeft{240, 1440, 2640, 3840};
  static constexpr std::array<int, 4> kPortWidth{1215, 1215, 1215, 1095};
  for (int i = 0; i < ConfigDialogBehaviour::kPortCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    auto* option = new QRadioButton(QStringLiteral("Port %1").arg(i + 1), nodePickerFrame);
    option->setObjectName(QStringLiteral("optPort%1").arg(i));
    option->setProperty("Index", i);
    Place(option, kPortLeft[k], 1080, kPortWidth[k], 255);
    portButtonGroup->addButton(option, i);
    portButtons[k] = option;
  }

  inputFrame = frame(this, "Frame4", QStringLiteral("Input node"));
  Place(inputFrame, 120, 3120, 5295, 615);
  inputUniverseCaption = label(inputFrame, "Label7", QStringLiteral("Universe:"));
  Place(inputUniverseCaption, 1680, 270, 735, 255);
  inputUniverseValueLabel = valueLabel(inputFrame, "lblInputUniverse");
  Place(inputUniverseValueLabel, 2400, 240, 375, 255);
  inputUniverseBar = bar(inputFrame, "scrInputUniverse");
  Place(inputUniverseBar, 2880, 240, 495, 255);

  okButton = button(this, "cmdOk", QStringLiteral("OK"));
  Place(okButton, 3120, 3840, 1095, 375);
  okButton->setDefault(true);
  cancelButton = button(this, "cmdCancel", QStringLiteral("Cancel"));
  Place(cancelButton, 4320, 3840, 1095, 375);

  const std::array<QWidget*, 12> tabOrder{outputUniverseBar, subnetBar,      broadcastEdit,  inputUniverseBar,
                                          scanButton,        portButtons[0], portButtons[1], portButtons[2],
                                          portButtons[3],    nodeList,       okButton,       cancelButton};
  for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i) {
    QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
  }
}

void QtConfigDialog::ConnectControls() {
  for (ConfigBar which : {ConfigBar::SubNet, ConfigBar::OutputUniverse, ConfigBar::InputUniverse}) {
    QScrollBar* scroll = Bar(which);
    // The display follows the settled value, not the thumb while dragged.
    connect(scroll, &QScrollBar::valueChanged, this, [this, scroll, which] {
      if (!scroll->isSliderDown()) Run([&] { behaviour_.OnBarChanged(which); });
    });
    connect(scroll, &QScrollBar::sliderReleased, this, [this, which] { Run([&] { behaviour_.OnBarChanged(which); }); });
  }
  connect(scanButton, &QPushButton::clicked, this, [this] { Run([&] { behaviour_.OnScanClicked(); }); });
  // activated, unlike currentIndexChanged, fires only for the user's picks.
  connect(nodeList, &QComboBox::activated, this, [this] { Run([&] { behaviour_.OnNodePicked(); }); });
  connect(portButtonGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) Run([&] { behaviour_.OnPortPicked(id); });
  });
  connect(okButton, &QPushButton::clicked, this, [this] { Run([&] { behaviour_.OnOkClicked(); }); });
  connect(cancelButton, &QPushButton::clicked, this, [this] { Run([&] { behaviour_.OnCancelClicked(); }); });
}

template <typename Handler>
void QtConfigDialog::Run(Handler&& handler) {
  // A handler may pump events (a scan) during which the dialog can be
  // destroyed; nothing of it is touched afterwards then.
  QPointer<QtConfigDialog> self(this);
  try {
    handler();
  } catch (...) {
    if (self == nullptr) return;
    if (!error_) error_ = std::current_exception();
    QDialog::done(QDialog::Rejected);
  }
}

void QtConfigDialog::reject() {
  Run([&] { behaviour_.OnCancelClicked(); });
}

bool QtConfigDialog::TextFits(const QFont& font) const {
  const QFontMetrics metrics(font);
  auto fits = [&](const QWidget* widget, const QString& text, int extraWidth) {
    return metrics.horizontalAdvance(text) + extraWidth <= widget->width() && metrics.height() <= widget->height();
  };
  for (const QLabel* text :
       {nodeCaption, portsCaption, subnetCaption, outputUniverseCaption, broadcastCaption, inputUniverseCaption}) {
    if (!fits(text, text->text(), 0)) return false;
  }
  // Value displays show one hex digit; the widest one decides.
  for (const QLabel* text : {subnetValueLabel, outputUniverseValueLabel, inputUniverseValueLabel}) {
    if (!fits(text, QStringLiteral("W"), 0)) return false;
  }
  const QStyle* look = style();
  for (const QRadioButton* option : portButtons) {
    const int indicator = look->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option) +
                          look->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option);
    // The longest caption a node can give it.
    const QString longest = QStringLiteral("Port %1 (Out)").arg(option->property("Index").toInt() + 1);
    if (!fits(option, longest, indicator)) return false;
  }
  for (const QPushButton* push : {scanButton, okButton, cancelButton}) {
    const int margins = 2 * (look->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push) +
                             look->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, push));
    if (!fits(push, push->text(), margins)) return false;
  }
  for (const QGroupBox* box : {nodePickerFrame, outputFrame, deviceFrame, inputFrame}) {
    if (!fits(box, box->title(), 16)) return false;
  }
  // A full dotted address must show whole in the text box.
  const int textMargins = 2 * (look->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, broadcastEdit) + 2);
  if (!fits(broadcastEdit, QStringLiteral("255.255.255.255"), textMargins)) return false;
  return metrics.height() + 4 <= nodeList->height();
}

void QtConfigDialog::FitFont() {
  QFont font = QApplication::font(this);
  double size = kLargestPointSize;
  font.setPointSizeF(size);
  while (size > kSmallestPointSize && !TextFits(font)) {
    size -= kPointSizeStep;
    font.setPointSizeF(size);
  }
  setFont(font);
}

void QtConfigDialog::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  move(area.center() - QPoint(Px(kClientWidthTwips) / 2, Px(kClientHeightTwips) / 2));
}

QScrollBar* QtConfigDialog::Bar(ConfigBar bar) const {
  switch (bar) {
    case ConfigBar::SubNet:
      return subnetBar;
    case ConfigBar::OutputUniverse:
      return outputUniverseBar;
    case ConfigBar::InputUniverse:
      return inputUniverseBar;
  }
  return subnetBar;
}

QLabel* QtConfigDialog::BarLabel(ConfigBar bar) const {
  switch (bar) {
    case ConfigBar::SubNet:
      return subnetValueLabel;
    case ConfigBar::OutputUniverse:
      return outputUniverseValueLabel;
    case ConfigBar::InputUniverse:
      return inputUniverseValueLabel;
  }
  return subnetValueLabel;
}

void QtConfigDialog::SetBarValue(ConfigBar bar, int value) { Bar(bar)->setValue(value); }
int QtConfigDialog::BarValue(ConfigBar bar) const { return Bar(bar)->value(); }
void QtConfigDialog::SetBarLabel(ConfigBar bar, const std::string& text) { BarLabel(bar)->setText(FromText(text)); }

void QtConfigDialog::SetBroadcastText(const std::string& text) { broadcastEdit->setText(FromText(text)); }
std::string QtConfigDialog::BroadcastText() const { return broadcastEdit->text().toStdString(); }

void QtConfigDialog::ClearNodeEntries() {
  nodeList->clear();
  nodeList->view()->setMinimumWidth(0);
}

void QtConfigDialog::AddNodeEntry(const std::string& text) {
  const QString entry = FromNodeText(text);
  nodeList->addItem(entry);
  // The closed list is narrow; the open one widens to show whole entries.
  const int wanted = nodeList->fontMetrics().horizontalAdvance(entry) + 2 * Px(120) +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, nodeList);
  if (wanted > nodeList->view()->minimumWidth()) nodeList->view()->setMinimumWidth(wanted);
}

void QtConfigDialog::SetCurrentNodeEntry(int index) { nodeList->setCurrentIndex(index); }
int QtConfigDialog::CurrentNodeEntry() const { return nodeList->currentIndex(); }

void QtConfigDialog::SetPortCaption(int port, const std::string& caption) {
  portButtons[static_cast<std::size_t>(port)]->setText(FromText(caption));
}

void QtConfigDialog::SetPortChecked(int port, bool checked) {
  QRadioButton* option = portButtons[static_cast<std::size_t>(port)];
  if (option->isChecked() == checked) return;
  // An exclusive group refuses to have its checked button unchecked.
  const bool exclusive = portButtonGroup->exclusive();
  if (!checked) portButtonGroup->setExclusive(false);
  option->setChecked(checked);
  portButtonGroup->setExclusive(exclusive);
}

void QtConfigDialog::SetPortEnabled(int port, bool enabled) {
  portButtons[static_cast<std::size_t>(port)]->setEnabled(enabled);
}

void QtConfigDialog::CloseDialog() { QDialog::done(QDialog::Rejected); }

}  // namespace artnet
