#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace artnet {

// A handler the event loop calls (a timer's tick, a socket's event). While it
// runs it is held by a second reference: it may replace itself or destroy its
// owner. Nothing escapes it: an exception leaving an event loop's callback
// ends the process on some platforms.
class EventHandler {
 public:
  void Set(std::function<void()> handler) {
    handler_ = std::make_shared<const std::function<void()>>(std::move(handler));
  }
  bool Empty() const { return !handler_ || !*handler_; }

  void Run() const {
    if (Empty()) return;
    const std::shared_ptr<const std::function<void()>> running = handler_;
    try {
      (*running)();
    } catch (...) {
      // The event is dropped; the loop goes on.
    }
  }

 private:
  std::shared_ptr<const std::function<void()>> handler_;
};

}  // namespace artnet
