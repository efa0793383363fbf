#pragma once

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <atomic>

#include "com/win32_platform.h"
#include "engine/module_state.h"

namespace artnet::server {

// What the plug-in keeps for one apartment thread: its Win32 platform (the
// thread's hidden window, timers and socket) and the engine's module state.
// The class is apartment-threaded, so COM creates objects directly on any
// single-threaded-apartment thread; a window, a timer and a WSAAsyncSelect
// serve only the thread that made them, so each such thread gets its own
// copy, and a second thread meets port 6454 taken as a second process would.
//
// Made with the thread's first object; ended on that thread when it leaves
// its apartment (its last CoUninitialize) and no object of it is left. A
// thread that ends without leaving its apartment cannot be cleaned up under
// the loader lock: its socket is closed just after the thread has ended (or
// by the next thread to make a module), and the rest is left, as that
// apartment's objects are.
class ApartmentModule {
 public:
  // The calling thread's, made on first use. Throws when it cannot be made.
  static ApartmentModule& OfThisThread();
  // From DllMain: the calling thread is ending.
  static void ThreadEnding();
  // Closes the sockets of modules whose thread ended inside its apartment;
  // from any thread.
  static void CloseSocketsOfEndedThreads();

  ModuleState& State() { return state_; }
  // Objects keep their module, should the apartment end before them.
  void AddObject();
  void ReleaseObject();

  ApartmentModule(const ApartmentModule&) = delete;
  ApartmentModule& operator=(const ApartmentModule&) = delete;

 private:
  friend class ApartmentEndWatch;
  ApartmentModule() = default;
  ~ApartmentModule() = default;
  static void ApartmentEnding();
  void Drop();

  Win32Platform platform_;
  ModuleState state_{platform_};
  LONG holds_ = 1;                      // the thread's apartment, and each object
  std::atomic<bool> abandoned_{false};  // its thread ended inside its apartment
};

// An object's hold on its module (none for a module a test made), released
// after everything else of the object.
class ModuleHold {
 public:
  explicit ModuleHold(ApartmentModule* module) : module_(module) {
    if (module_ != nullptr) module_->AddObject();
  }
  ~ModuleHold() {
    if (module_ != nullptr) module_->ReleaseObject();
  }
  ModuleHold(const ModuleHold&) = delete;
  ModuleHold& operator=(const ModuleHold&) = delete;

 private:
  ApartmentModule* module_;
};

}  // namespace artnet::server
