#include "platform/qt/qt_event_pump.h"

#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <cerrno>

namespace artnet {

void QtEventPump::DoEvents() {
  if (QCoreApplication::instance() == nullptr) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  // processEvents leaves objects that asked for deferred deletion alone;
  // a pumping loop that never returns to the main loop would pile them up.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtEventPump::Sleep(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace artnet
