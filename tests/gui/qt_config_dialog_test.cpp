// The configuration dialog driven as a person would: mouse and keys on the real widgets,
// with fake services (no network), plus Configure through the loaded plug-in.
#include "ui/qt/qt_config_dialog.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <tuple>

#include "lumenstage/output_driver.h"
#include "support/art_net_test_packets.h"
#include "support/fake_dialog_services.h"
#include "ui/qt/qt_dialog_runner.h"

namespace artnet {
namespace {

using testing::FakeDialogServices;
using testing::IncomingReply;
using testing::PortSpec;

template <typename T>
T* Child(QWidget* dialog, const char* name) {
  T* widget = dialog->findChild<T*>(QLatin1String(name));
  if (widget == nullptr) ADD_FAILURE() << "no control " << name;
  return widget;
}

void PumpFor(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

class QtConfigDialogTest : public ::testing::Test {
 protected:
  FakeDialogServices services;
  std::unique_ptr<QtConfigDialog> dialog;

  void SetUp() override {
    services.settings = {"10.99.0.255", 10, 15, 3};
    services.replies = {IncomingReply({10, 99, 0, 17}, 0, 10, "Stage Left", 4,
                                      {PortSpec{0x40, 2, 0}, PortSpec{0x80, 0, 7}, PortSpec{}, PortSpec{0x80, 0, 1}}),
                        IncomingReply({10, 99, 0, 18}, 0, 3, "Dimmer", 1, {PortSpec{0x80, 0, 0x3C}})};
  }
  void TearDown() override { dialog.reset(); }

  void Open() {
    dialog = std::make_unique<QtConfigDialog>(services);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }
  template <typename T>
  T* Get(const char* name) {
    return Child<T>(dialog.get(), name);
  }
  QString Text(const char* label) { return Get<QLabel>(label)->text(); }
  void Click(const char* name) { QTest::mouseClick(Get<QWidget>(name), Qt::LeftButton); }
  void PickFromPopup(int entry) {
    auto* list = Get<QComboBox>("cmbNodes");
    list->showPopup();
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(entry, 0)).center());
  }
};

TEST_F(QtConfigDialogTest, OpensAsAFixedToolWindowWithTheSettings) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "ArtNet configuration");
  const Qt::WindowFlags flags = dialog->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  ASSERT_EQ(dialog->logicalDpiX(), 96);
  EXPECT_EQ(dialog->size(), QSize(369, 289));
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
  // A control at each depth of frames: its container, and its place in pixels.
  const std::tuple<const char*, const char*, QRect> places[]{
      {"cmdCancel", "frmConfig", {288, 256, 73, 25}},
      {"scrSubNet", "Frame3", {88, 16, 33, 17}},
      {"Frame1", "Frame2", {8, 40, 337, 97}},
      {"optPort3", "Frame1", {256, 72, 73, 17}},
  };
  for (const auto& [name, container, place] : places) {
    EXPECT_EQ(Get<QWidget>(name)->parentWidget()->objectName(), container) << name;
    EXPECT_EQ(Get<QWidget>(name)->geometry(), place) << name;
  }

  EXPECT_EQ(Get<QGroupBox>("Frame3")->title(), "\"Device\" configuration");
  EXPECT_EQ(Get<QGroupBox>("Frame1")->title(), "Output selection helper");
  EXPECT_EQ(Text("Label5"), "Broadcast adress:");
  EXPECT_EQ(Text("lblSubNet"), "A");
  EXPECT_EQ(Text("lblOutputUniverse"), "F");
  EXPECT_EQ(Text("lblInputUniverse"), "3");
  EXPECT_EQ(Get<QLineEdit>("txtBroadcast")->text(), "10.99.0.255");
  EXPECT_EQ(Get<QComboBox>("cmbNodes")->count(), 0);
  for (int i = 0; i < 4; ++i) {
    auto* option = Get<QRadioButton>(QStringLiteral("optPort%1").arg(i).toLatin1().constData());
    EXPECT_EQ(option->text(), QStringLiteral("Port %1").arg(i + 1));
    EXPECT_TRUE(option->isEnabled());
    EXPECT_FALSE(option->isChecked());
  }

  // Focus starts on the output universe and Tab walks the table's order.
  EXPECT_EQ(dialog->focusWidget(), Get<QWidget>("scrOutputUniverse"));
  QStringList order;
  QWidget* widget = Get<QWidget>("scrOutputUniverse");
  for (int i = 0; i < 12; ++i, widget = widget->nextInFocusChain()) {
    while (!(widget->focusPolicy() & Qt::TabFocus)) widget = widget->nextInFocusChain();
    order << widget->objectName();
  }
  EXPECT_EQ(order.join(' '),
            "scrOutputUniverse scrSubNet txtBroadcast scrInputUniverse cmdScan optPort0 "
            "optPort1 optPort2 optPort3 cmbNodes cmdOk cmdCancel");
}

TEST_F(QtConfigDialogTest, BarsStepByKeysAndShowTheSettledValue) {
  Open();
  auto* subNet = Get<QScrollBar>("scrSubNet");
  subNet->setFocus();
  QTest::keyClick(subNet, Qt::Key_Right);
  EXPECT_EQ(Text("lblSubNet"), "B");
  QTest::keyClick(subNet, Qt::Key_Left);
  QTest::keyClick(subNet, Qt::Key_Left);
  EXPECT_EQ(Text("lblSubNet"), "9");
  QTest::keyClick(subNet, Qt::Key_Up);
  EXPECT_EQ(subNet->value(), 8);
  QTest::keyClick(subNet, Qt::Key_PageDown);
  QTest::keyClick(subNet, Qt::Key_Down);
  EXPECT_EQ(Text("lblSubNet"), "A");

  auto* input = Get<QScrollBar>("scrInputUniverse");
  input->setSliderDown(true);
  input->setSliderPosition(12);
  EXPECT_EQ(Text("lblInputUniverse"), "3");  // still dragging
  input->setSliderDown(false);
  EXPECT_EQ(Text("lblInputUniverse"), "C");
}

TEST_F(QtConfigDialogTest, ScanPickNodeAndPortThenEnterAppliesAndAnnounces) {
  Open();
  services.duringScan = [&] { EXPECT_EQ(Get<QComboBox>("cmbNodes")->currentText(), "Scanning..."); };
  Click("cmdScan");
  auto* list = Get<QComboBox>("cmbNodes");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->itemText(0), "Stage Left (IP: 10.99.0.17; Subnet A; 4 ports)");
  EXPECT_EQ(list->currentIndex(), -1);
  EXPECT_EQ(Get<QRadioButton>("optPort0")->text(), "Port 1");  // refilling picks nothing

  PickFromPopup(1);
  EXPECT_EQ(Get<QRadioButton>("optPort0")->text(), "Port 1 (Out)");
  EXPECT_FALSE(Get<QRadioButton>("optPort1")->isEnabled());
  EXPECT_EQ(Text("lblSubNet"), "3");

  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);  // picks "Stage Left" by keyboard
  EXPECT_EQ(Text("lblSubNet"), "A");
  EXPECT_EQ(Get<QRadioButton>("optPort0")->text(), "Port 1 (In)");
  Click("optPort1");  // an output port, universe 7
  EXPECT_EQ(Text("lblOutputUniverse"), "7");
  Click("optPort0");  // an input port, universe 2
  EXPECT_EQ(Text("lblInputUniverse"), "2");
  EXPECT_EQ(Text("lblOutputUniverse"), "7");

  auto* address = Get<QLineEdit>("txtBroadcast");
  address->setFocus();
  address->selectAll();
  QTest::keyClicks(address, "127.0.0.255");
  QTest::keyClick(address, Qt::Key_Return);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(services.settings.BroadcastAddress, "127.0.0.255");
  EXPECT_EQ(services.settings.SubNet, 10);
  EXPECT_EQ(services.settings.SendUniverse, 7);
  EXPECT_EQ(services.settings.ReceiveUniverse, 2);
  EXPECT_EQ(services.pollReplies, std::vector<std::string>{"127.0.0.255"});
}

TEST_F(QtConfigDialogTest, CancelEscapeAndCloseBoxApplyNothing) {
  for (int way = 0; way < 3; ++way) {
    Open();
    auto* output = Get<QScrollBar>("scrOutputUniverse");
    QTest::keyClick(output, Qt::Key_Left);
    Get<QLineEdit>("txtBroadcast")->setText("127.0.0.1");
    if (way == 0) Click("cmdCancel");
    if (way == 1) QTest::keyClick(output, Qt::Key_Escape);
    if (way == 2) dialog->close();
    EXPECT_FALSE(dialog->isVisible()) << way;
  }
  EXPECT_EQ(services.settings.SendUniverse, 15);
  EXPECT_EQ(services.settings.BroadcastAddress, "10.99.0.255");
  EXPECT_TRUE(services.pollReplies.empty());
}

TEST_F(QtConfigDialogTest, EnterOnAnotherPushButtonPressesThatButton) {
  Open();
  auto* scan = Get<QPushButton>("cmdScan");
  scan->setFocus();
  QTest::keyClick(scan, Qt::Key_Return);
  EXPECT_EQ(services.scans, 1);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(services.pollReplies.empty());
}

TEST_F(QtConfigDialogTest, ClosedDuringScanTheListIsNotRefilled) {
  Open();
  services.duringScan = [] { PumpFor(300); };
  QTimer::singleShot(50, dialog.get(), [this] { dialog->close(); });
  Click("cmdScan");
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Get<QComboBox>("cmbNodes")->count(), 1);
  EXPECT_EQ(Get<QComboBox>("cmbNodes")->itemText(0), "Scanning...");
  EXPECT_TRUE(services.pollReplies.empty());
}

TEST_F(QtConfigDialogTest, DestroyedDuringScanIsNotTouched) {
  Open();
  services.duringScan = [] { PumpFor(200); };
  QPointer<QPushButton> scan = Get<QPushButton>("cmdScan");
  QTimer::singleShot(50, [this] { dialog.reset(); });
  scan->click();
  EXPECT_TRUE(scan.isNull());
}

TEST_F(QtConfigDialogTest, RendersWholeTextToScreenshot) {
  Open();
  Click("cmdScan");
  PickFromPopup(0);
  Click("optPort1");
  for (QWidget* control : dialog->findChildren<QWidget*>()) {
    const QFontMetrics metrics(control->font());
    if (auto* label = qobject_cast<QLabel*>(control)) {
      EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << label->objectName().toStdString();
    } else if (auto* option = qobject_cast<QRadioButton*>(control)) {
      const QStyle* look = option->style();
      const int indicator = look->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option) +
                            look->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option);
      EXPECT_LE(indicator + metrics.horizontalAdvance(option->text()), option->width())
          << option->objectName().toStdString();
    }
  }
  const bool intoSource = qEnvironmentVariable("ARTNET_WRITE_SCREENSHOT") == "1";
  const QString path =
      intoSource ? QStringLiteral(ARTNET_SOURCE_DIR "/docs/config-dialog.png") : QStringLiteral("config-dialog.png");
  EXPECT_TRUE(dialog->grab().save(path)) << path.toStdString();
}

// Runs check on the dialog that the code under test opens modally.
void WhenDialogOpens(std::function<void(QDialog*)> check) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, check] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(window);
      if (dialog != nullptr && window->objectName() == "frmConfig" && dialog->isVisible()) {
        poll->deleteLater();
        poll->stop();
        check(dialog);
        return;
      }
    }
  });
  poll->start(10);
}

TEST(QtDialogRunnerTest, ShowsAFreshDialogModallyEachTime) {
  FakeDialogServices services;
  services.settings = {"10.99.0.255", 1, 2, 3};
  QtDialogRunner runner;
  WhenDialogOpens([](QDialog* dialog) {
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    QTest::mouseClick(Child<QWidget>(dialog, "cmdScan"), Qt::LeftButton);
    QTest::mouseClick(Child<QWidget>(dialog, "cmdCancel"), Qt::LeftButton);
  });
  services.replies = {IncomingReply({10, 99, 0, 1}, 0, 0, "N", 1)};
  EXPECT_EQ(runner.ShowConfigDialog(services), 0);
  EXPECT_EQ(QApplication::topLevelWidgets().count(), 0);

  WhenDialogOpens([](QDialog* dialog) {
    EXPECT_EQ(Child<QComboBox>(dialog, "cmbNodes")->count(), 0);  // the last scan's list is gone
    QTest::mouseClick(Child<QWidget>(dialog, "cmdOk"), Qt::LeftButton);
  });
  EXPECT_EQ(runner.ShowConfigDialog(services), 0);
  EXPECT_EQ(services.pollReplies, std::vector<std::string>{"10.99.0.255"});
}

// The real plug-in, loaded as a host loads it.
class PluginConfigureTest : public ::testing::Test {
 protected:
  void* library = nullptr;
  lumenstage::_clsOutputDriver* driver = nullptr;

  void SetUp() override {
    library = dlopen(ARTNET_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<lumenstage::_clsOutputDriver* (*)()>(dlsym(library, kLmstCreateOutputDriverSymbol));
    ASSERT_NE(create, nullptr);
    driver = create();
    ASSERT_NE(driver, nullptr);
    lumenstage::VBool result = 0;
    ASSERT_TRUE(driver->Init("Lumenstage GUI test", "libArtNet.so", nullptr, &result).ok());
  }
  void TearDown() override {
    if (driver != nullptr) driver->Release();  // the library stays resident by design
  }
};

TEST_F(PluginConfigureTest, CancelReturnsWithoutSending) {
  WhenDialogOpens([](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "ArtNet configuration");
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  lumenstage::VBool result = lumenstage::kTrue;
  const lumenstage::Status status = driver->Configure(&result);
  EXPECT_TRUE(status.ok()) << status.error;
  EXPECT_EQ(result, lumenstage::kFalse);
}

TEST_F(PluginConfigureTest, OkAppliesTheDialogsValues) {
  if (qEnvironmentVariable("ARTNET_TEST_NETNS") != "1") GTEST_SKIP() << "OK sends an ArtPollReply: needs a test netns";
  WhenDialogOpens([](QDialog* dialog) {
    Child<QLineEdit>(dialog, "txtBroadcast")->setText("127.0.0.1");
    QTest::keyClick(Child<QWidget>(dialog, "scrInputUniverse"), Qt::Key_Right);
    QTest::mouseClick(Child<QWidget>(dialog, "cmdOk"), Qt::LeftButton);
  });
  lumenstage::VBool result = lumenstage::kTrue;
  ASSERT_TRUE(driver->Configure(&result).ok());

  QString address;
  QString universe;
  WhenDialogOpens([&](QDialog* dialog) {
    address = Child<QLineEdit>(dialog, "txtBroadcast")->text();
    universe = Child<QLabel>(dialog, "lblInputUniverse")->text();
    dialog->close();
  });
  ASSERT_TRUE(driver->Configure(&result).ok());
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(universe, "2");  // the stored default 1, one step right
}

}  // namespace
}  // namespace artnet

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("XDG_CONFIG_HOME", ARTNET_TEST_CONFIG_HOME);     // the plug-in's settings stay in the build tree
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // test discovery needs no display
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
