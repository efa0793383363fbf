#include "platform/qt/qt_timer.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include "lumenstage/automation_errors.h"

namespace artnet {

QtTimer::QtTimer() : timer_(std::make_unique<QTimer>()) {
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setSingleShot(false);
  QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] {
    if (!handler_ || !*handler_) return;
    // Held by a second reference: the handler may replace itself.
    const auto handler = handler_;
    try {
      (*handler)();
    } catch (...) {
      // The event loop is no place for an exception.
    }
  });
}

QtTimer::~QtTimer() = default;

void QtTimer::SetInterval(int milliseconds) { timer_->setInterval(milliseconds < 0 ? 0 : milliseconds); }

int QtTimer::SetEnabled(bool enabled) {
  if (!enabled) {
    timer_->stop();
    return 0;
  }
  if (timer_->isActive()) return 0;  // keep the running interval: no restart
  if (QAbstractEventDispatcher::instance() == nullptr)
    return lumenstage::kErrInvalidProcedureCall.number;  // no event loop on this thread
  timer_->start();
  return 0;
}

bool QtTimer::Enabled() const { return timer_->isActive(); }

void QtTimer::SetTickHandler(std::function<void()> handler) {
  handler_ = std::make_shared<const std::function<void()>>(std::move(handler));
}

}  // namespace artnet
