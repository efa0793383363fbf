// The Qt timer and the system clock through the real event loop (the
// contract both platforms meet), and the Qt event pump and warning box.
#include <gtest/gtest.h>

#include <QObject>
#include <QTimer>

#include "contract/timer_clock_contract.h"
#include "net_support.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_warning_box.h"

namespace artnet {
namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(QtTimerClock, TimerClockContract, itest::QtPlatform);
}  // namespace contract

namespace {

TEST(QtEventPumpTest, DoEventsRunsQueuedWorkAndDeferredDeletes) {
  QtEventPump pump;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  auto* doomed = new QObject;
  bool destroyed = false;
  QObject::connect(doomed, &QObject::destroyed, [&] { destroyed = true; });
  doomed->deleteLater();
  pump.DoEvents();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(destroyed);  // a pumping loop must not pile up retired objects
}

TEST(QtWarningBoxTest, WithoutAWidgetApplicationTheTextGoesToStderr) {
  QtWarningBox box;
  testing::internal::CaptureStderr();
  box.ShowCritical("Port 0x1936 is already in use by another program. Please close that program.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Port 0x1936 is already in use by another program. Please close that program.\n");
}

}  // namespace
}  // namespace artnet
