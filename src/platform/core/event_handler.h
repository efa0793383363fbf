#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace artnet {

// A handler the event loop calls (a timer's tick, a socket's event, with
// what the event carries). While it runs it is held by a second reference: it
// may replace itself or destroy its owner. Nothing escapes it: an exception leaving an event loop's callback
// ends the process on some platforms.
template <typename... Args>
class EventHandler {
 public:
  void Set(std::function<void(Args...)> handler) {
    handler_ = std::make_shared<const std::function<void(Args...)>>(std::move(handler));
  }
  bool Empty() const { return !handler_ || !*handler_; }

  void Run(Args... args) const {
    if (Empty()) return;
    const std::shared_ptr<const std::function<void(Args...)>> running = handler_;
    try {
      (*running)(args...);
    } catch (...) {
      // The event is dropped; the loop goes on.
    }
  }

 private:
  std::shared_ptr<const std::function<void(Args...)>> handler_;
};

}  // namespace artnet
