#pragma once

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <atomic>
#include <memory>

#include "com/win32_platform.h"
#include "engine/module_state.h"

namespace artnet::server {

// What the plug-in keeps for one apartment of one thread: its Win32 platform
// (the hidden window, timers and socket) and the engine's module state. The
// class is apartment-threaded, so COM creates objects directly on any
// single-threaded-apartment thread; a window, a timer and a WSAAsyncSelect
// serve only the thread that made them, so each such thread gets its own
// module, and a second thread meets port 6454 taken as a second process would.
//
// When a module begins and ends (all of it in apartment_module.cpp):
// - It begins with the first object made in its apartment (OfThisThread,
//   from the class factory). Its thread gets a watch with its first module:
//   an IInitializeSpy registration and a wait on the system's thread pool
//   for the thread's end.
// - It ends on its thread just before the apartment's last CoUninitialize:
//   its network work ends (port 6454 closed, timers stopped), the host's
//   helper is released and its window destroyed. Objects that outlive it
//   answer every call with RPC_E_DISCONNECTED and touch nothing of it; its
//   memory goes with the last of them, from whichever thread releases it.
// - When its thread ends without leaving the apartment, it ends on the thread
//   pool once the thread has gone (or on the next thread to make a module,
//   should that come first): its socket closed and its state freed. The
//   host's helper is let go without a call (its apartment went with the
//   thread), and the system took the window and timers with the thread.
//   One registry, under one lock, holds every thread's record until then.
// Its owners are the thread's record while the apartment lasts, each of its
// objects, and each message its window is routing: whatever a host does
// inside a call out to it, nothing of ours is freed under a running handler.
class ApartmentModule {
 public:
  // The calling thread's module for its current apartment, made with its
  // first object. Throws when it cannot be made.
  static std::shared_ptr<ApartmentModule> OfThisThread();

  ApartmentModule();
  ~ApartmentModule();
  ApartmentModule(const ApartmentModule&) = delete;
  ApartmentModule& operator=(const ApartmentModule&) = delete;

  // Null once the module has ended: nothing of it may be touched then.
  ModuleState* State() { return ended_ ? nullptr : state_.get(); }

 private:
  friend class ApartmentEndSpy;
  friend struct ThreadRecord;
  static void ApartmentEnding();
  void EndOnItsThread();
  void EndAfterItsThread();

  std::unique_ptr<Win32Platform> platform_;
  std::unique_ptr<ModuleState> state_;  // after the platform: its sockets and timers go first
  std::atomic<bool> ended_{false};
};

}  // namespace artnet::server
