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

using config_form::kClientHeightTwips;
using config_form::kClientWidthTwips;
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

QString FromText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

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

// A widget of the control's kind, before its name and place are set.
QWidget* CreateControl(const FormControlSpec& control, QWidget* container) {
  const QString caption = FromText(control.caption);
  switch (control.kind) {
    case ControlKind::Frame: {
      auto* box = new QGroupBox(caption, container);
      box->setFocusPolicy(Qt::NoFocus);
      return box;
    }
    case ControlKind::Label:
    case ControlKind::ValueLabel: {
      auto* text = new QLabel(caption, container);
      text->setAlignment(control.kind == ControlKind::Label ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignCenter);
      text->setFocusPolicy(Qt::NoFocus);
      return text;
    }
    case ControlKind::Bar: {
      auto* scroll = new ClassicScrollBar(Qt::Horizontal, container);
      scroll->setRange(ConfigDialogBehaviour::kBarMin, ConfigDialogBehaviour::kBarMax);
      scroll->setSingleStep(1);
      scroll->setPageStep(1);
      scroll->setValue(0);
      // Like a classic Windows bar: Left lowers, Right raises (Qt's horizontal
      // bar swaps them by default), and it takes focus.
      scroll->setInvertedControls(false);
      scroll->setFocusPolicy(Qt::StrongFocus);
      return scroll;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(caption, container);
      edit->setMaxLength(32767);  // as long as QLineEdit allows
      return edit;
    }
    case ControlKind::List: {
      auto* list = new QComboBox(container);
      list->setEditable(false);
      return list;
    }
    case ControlKind::PushButton: {
      auto* push = new QPushButton(caption, container);
      push->setAutoDefault(true);
      return push;
    }
    case ControlKind::Option:
      break;
  }
  return new QRadioButton(caption, container);
}

}  // namespace

QtConfigDialog::QtConfigDialog(ConfigDialogServices& services, QWidget* parent)
    : QDialog(parent), behaviour_(services, *this) {
  setObjectName(FromText(config_form::kName));
  setWindowTitle(FromText(config_form::kCaption));
  // A fixed-size tool window: close box only, and no taskbar button.
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setSizeGripEnabled(false);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) dpi_ = screen->logicalDotsPerInchX();

  CreateControls();
  ConnectControls();
  FitFont();
  setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
  CentreOnScreen();

  Control(config_form::FocusOrder().front())->setFocus(Qt::OtherFocusReason);
  behaviour_.OnLoad();
}

QtConfigDialog::~QtConfigDialog() {
  // The children outlive behaviour_ by a little while the base class deletes
  // them; none of their signals may reach it then.
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

int QtConfigDialog::Px(int twips) const { return qRound(twips * dpi_ / kTwipsPerInch); }

void QtConfigDialog::CreateControls() {
  for (const FormControlSpec& control : config_form::Controls()) {
    QWidget* widget =
        CreateControl(control, control.container == FormControl::Dialog ? this : Control(control.container));
    widget->setObjectName(FromText(control.name));
    widget->setGeometry(Px(control.place.left), Px(control.place.top), Px(control.place.width),
                        Px(control.place.height));
    controls_[static_cast<std::size_t>(control.id)] = widget;
  }
  Control<QPushButton>(FormControl::Ok)->setDefault(true);
  portButtonGroup_ = new QButtonGroup(this);
  portButtonGroup_->setObjectName(QStringLiteral("optPortGroup"));
  portButtonGroup_->setExclusive(true);
  for (int i = 0; i < ConfigDialogBehaviour::kPortCount; ++i) portButtonGroup_->addButton(PortOption(i), i);

  const std::span<const FormControl> tabOrder = config_form::FocusOrder();
  for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i) {
    QWidget::setTabOrder(Control(tabOrder[i]), Control(tabOrder[i + 1]));
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
  auto button = [this](FormControl id) { return Control<QPushButton>(id); };
  connect(button(FormControl::Scan), &QPushButton::clicked, this, [this] { Run([&] { behaviour_.OnScanClicked(); }); });
  // activated, unlike currentIndexChanged, fires only for the user's picks.
  connect(NodeList(), &QComboBox::activated, this, [this] { Run([&] { behaviour_.OnNodePicked(); }); });
  connect(portButtonGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) Run([&] { behaviour_.OnPortPicked(id); });
  });
  connect(button(FormControl::Ok), &QPushButton::clicked, this, [this] { Run([&] { behaviour_.OnOkClicked(); }); });
  connect(button(FormControl::Cancel), &QPushButton::clicked, this,
          [this] { Run([&] { behaviour_.OnCancelClicked(); }); });
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
  const QStyle* look = style();
  for (const FormControlSpec& control : config_form::Controls()) {
    const QString text = FromText(config_form::WidestText(control.id));
    if (text.isEmpty()) continue;
    const QWidget* widget = Control(control.id);
    const auto metric = [&](QStyle::PixelMetric which) { return look->pixelMetric(which, nullptr, widget); };
    int extraWidth = 0;
    if (control.kind == ControlKind::Option) {
      extraWidth = metric(QStyle::PM_ExclusiveIndicatorWidth) + metric(QStyle::PM_RadioButtonLabelSpacing);
    } else if (control.kind == ControlKind::PushButton) {
      extraWidth = 2 * (metric(QStyle::PM_ButtonMargin) + metric(QStyle::PM_DefaultFrameWidth));
    } else if (control.kind == ControlKind::Frame) {
      extraWidth = 16;
    } else if (control.kind == ControlKind::Edit) {
      extraWidth = 2 * (metric(QStyle::PM_DefaultFrameWidth) + 2);
    }
    if (metrics.horizontalAdvance(text) + extraWidth > widget->width() || metrics.height() > widget->height()) {
      return false;
    }
  }
  return metrics.height() + 4 <= NodeList()->height();
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

QScrollBar* QtConfigDialog::Bar(ConfigBar bar) const { return Control<QScrollBar>(config_form::ScrollBar(bar)); }
QComboBox* QtConfigDialog::NodeList() const { return Control<QComboBox>(FormControl::NodeList); }
QRadioButton* QtConfigDialog::PortOption(int port) const {
  return Control<QRadioButton>(config_form::PortOption(port));
}

void QtConfigDialog::SetBarValue(ConfigBar bar, int value) { Bar(bar)->setValue(value); }
int QtConfigDialog::BarValue(ConfigBar bar) const { return Bar(bar)->value(); }
void QtConfigDialog::SetBarLabel(ConfigBar bar, const std::string& text) {
  Control<QLabel>(config_form::ValueDisplay(bar))->setText(FromText(text));
}

void QtConfigDialog::SetBroadcastText(const std::string& text) {
  Control<QLineEdit>(FormControl::BroadcastEdit)->setText(FromText(text));
}
std::string QtConfigDialog::BroadcastText() const {
  return Control<QLineEdit>(FormControl::BroadcastEdit)->text().toStdString();
}

void QtConfigDialog::ClearNodeEntries() {
  QComboBox* nodeList = NodeList();
  nodeList->clear();
  nodeList->view()->setMinimumWidth(0);
}

void QtConfigDialog::AddNodeEntry(const std::string& text) {
  const QString entry = FromNodeText(text);
  QComboBox* nodeList = NodeList();
  nodeList->addItem(entry);
  // The closed list is narrow; the open one widens to show whole entries.
  const int wanted = nodeList->fontMetrics().horizontalAdvance(entry) + 2 * Px(120) +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, nodeList);
  if (wanted > nodeList->view()->minimumWidth()) nodeList->view()->setMinimumWidth(wanted);
}

void QtConfigDialog::SetCurrentNodeEntry(int index) { NodeList()->setCurrentIndex(index); }
int QtConfigDialog::CurrentNodeEntry() const { return NodeList()->currentIndex(); }

void QtConfigDialog::SetPortCaption(int port, const std::string& caption) {
  PortOption(port)->setText(FromText(caption));
}

void QtConfigDialog::SetPortChecked(int port, bool checked) {
  QRadioButton* option = PortOption(port);
  if (option->isChecked() == checked) return;
  // An exclusive group refuses to have its checked button unchecked.
  const bool exclusive = portButtonGroup_->exclusive();
  if (!checked) portButtonGroup_->setExclusive(false);
  option->setChecked(checked);
  portButtonGroup_->setExclusive(exclusive);
}

void QtConfigDialog::SetPortEnabled(int port, bool enabled) { PortOption(port)->setEnabled(enabled); }

void QtConfigDialog::CloseDialog() { QDialog::done(QDialog::Rejected); }

}  // namespace artnet
