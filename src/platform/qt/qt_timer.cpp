#include "platform/qt/qt_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <cstdint>

#include "lumenstage/automation_errors.h"

namespace artnet {

QtTimer::QtTimer() : fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {}

QtTimer::~QtTimer() {
  *alive_ = false;
  if (notifier_ != nullptr) {
    notifier_->setEnabled(false);
    QObject::disconnect(notifier_, nullptr, nullptr, nullptr);
    // Destroyed from inside its own tick: the emitting notifier must outlive its signal.
    if (tickDepth_ > 0) {
      notifier_->deleteLater();
    } else {
      delete notifier_;
    }
  }
  if (fd_ >= 0) ::close(fd_);
}

void QtTimer::Arm() {
  const int milliseconds = interval_;
  itimerspec spec{};  // all zero: disarmed
  if (enabled_) {
    // A zero interval still has to fire: the shortest non-zero time stands in.
    const long nanoseconds = milliseconds == 0 ? 1L : (milliseconds % 1000) * 1000000L;
    spec.it_value.tv_sec = milliseconds / 1000;
    spec.it_value.tv_nsec = nanoseconds;
    spec.it_interval = spec.it_value;
  }
  ::timerfd_settime(fd_, 0, &spec, nullptr);
}

void QtTimer::SetInterval(int milliseconds) {
  interval_ = milliseconds < 0 ? 0 : milliseconds;
  if (enabled_) Arm();  // a running timer restarts with the new interval
}

int QtTimer::SetEnabled(bool enabled) {
  if (!enabled) {
    if (!enabled_) return 0;
    enabled_ = false;
    Arm();
    return 0;
  }
  if (enabled_) return 0;  // keep the running interval: no restart
  if (QAbstractEventDispatcher::instance() == nullptr || fd_ < 0)
    return lumenstage::kErrInvalidProcedureCall.number;  // no event loop on this thread
  if (notifier_ == nullptr) {
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { OnExpired(); });
  }
  enabled_ = true;
  Arm();
  return 0;
}

void QtTimer::OnExpired() {
  std::uint64_t expirations = 0;
  // Clears the readiness; missed periods are not made up, as with QTimer.
  if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations) return;
  if (!enabled_ || handler_.Empty()) return;
  const std::shared_ptr<bool> alive = alive_;
  ++tickDepth_;
  handler_.Run();
  if (!*alive) return;
  --tickDepth_;
}

void QtTimer::SetTickHandler(std::function<void()> handler) { handler_.Set(std::move(handler)); }

}  // namespace artnet
