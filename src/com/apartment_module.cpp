#include "com/apartment_module.h"

// clang-format off
#include <objbase.h>
#include <objidl.h>
// clang-format on

#include <algorithm>
#include <iterator>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "com/server_module.h"
#include "engine/endpoint.h"
#include "platform/win32/windows_support.h"

namespace artnet::server {
namespace {

// A wait on the system's thread pool, unregistered when its owner goes. Its
// callback runs once; from inside it, the owner cannot wait for the callback
// to finish, and need not.
class ThreadPoolWait {
 public:
  using Callback = void (*)(void* context);

  ThreadPoolWait(HANDLE object, Callback callback, void* context) : callback_(callback), context_(context) {
    if (!RegisterWaitForSingleObject(&wait_, object, &Trampoline, this, INFINITE, WT_EXECUTEONLYONCE)) wait_ = nullptr;
  }
  ~ThreadPoolWait() {
    if (wait_ != nullptr) UnregisterWaitEx(wait_, t_inCallback ? nullptr : INVALID_HANDLE_VALUE);
  }
  ThreadPoolWait(const ThreadPoolWait&) = delete;
  ThreadPoolWait& operator=(const ThreadPoolWait&) = delete;
  explicit operator bool() const { return wait_ != nullptr; }

 private:
  static VOID CALLBACK Trampoline(PVOID self, BOOLEAN) {
    const auto* wait = static_cast<ThreadPoolWait*>(self);
    t_inCallback = true;
    wait->callback_(wait->context_);  // may destroy the wait
    t_inCallback = false;
  }

  static inline thread_local bool t_inCallback = false;
  Callback callback_;
  void* context_;
  HANDLE wait_ = nullptr;
};

// An IInitializeSpy registered for one thread. Only that thread may revoke
// it; COM drops the spies of a thread that has ended by itself. (A thread id
// may be reused by a later thread, whose own spy must stay.)
class SpyRegistration {
 public:
  explicit SpyRegistration(IInitializeSpy* spy) : registered_(SUCCEEDED(CoRegisterInitializeSpy(spy, &cookie_))) {
    if (registered_) t_registration = this;
  }
  ~SpyRegistration() {
    if (registered_ && t_registration == this) {
      CoRevokeInitializeSpy(cookie_);
      t_registration = nullptr;
    }
  }
  SpyRegistration(const SpyRegistration&) = delete;
  SpyRegistration& operator=(const SpyRegistration&) = delete;
  explicit operator bool() const { return registered_; }

 private:
  static inline thread_local SpyRegistration* t_registration = nullptr;
  ULARGE_INTEGER cookie_{};
  bool registered_;
};

}  // namespace

// Told by COM when a thread leaves its apartment. Stateless: it acts on the
// thread it is called on, so one serves every thread.
class ApartmentEndSpy final : public win32::StaticUnknown<IInitializeSpy> {
 public:
  HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override { return result; }
  // Before the last CoUninitialize: COM still works, so the host's helper
  // can be released.
  HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD apartmentRefs) override {
    if (apartmentRefs == 1) ApartmentModule::ApartmentEnding();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }
};

namespace {
ApartmentEndSpy g_spy;
}  // namespace

// What the plug-in knows of one thread while it lives: the module of its
// current apartment, and the watch on both ends.
struct ThreadRecord {
  static void ThreadEnded(void* context);
  bool ThreadHasEnded() const { return WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0; }
  // On the thread pool or another thread, once this one has ended.
  void EndModule() {
    if (module) module->EndAfterItsThread();
  }

  std::shared_ptr<ApartmentModule> module;
  SpyRegistration apartmentEnd{&g_spy};
  win32::Owned<HANDLE, &CloseHandle> thread{OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId())};
  ThreadPoolWait threadEnd{thread.Get(), &ThreadEnded, this};  // after the handle it waits on
};

namespace {

// Every thread with a record, until its end has been handled: by the wait
// for it, or by the next thread to make a module, should that come first
// (it wants port 6454, which the ended thread's socket may still hold).
class ThreadRegistry {
 public:
  ThreadRecord* Add(std::unique_ptr<ThreadRecord> record) {
    const std::lock_guard<std::mutex> held(lock_);
    records_.push_back(std::move(record));
    return records_.back().get();
  }
  // Null when another thread has taken it already.
  std::unique_ptr<ThreadRecord> Take(const ThreadRecord* record) {
    const std::lock_guard<std::mutex> held(lock_);
    const auto found = std::find_if(records_.begin(), records_.end(), [&](const auto& r) { return r.get() == record; });
    if (found == records_.end()) return nullptr;
    std::unique_ptr<ThreadRecord> taken = std::move(*found);
    records_.erase(found);
    return taken;
  }
  std::vector<std::unique_ptr<ThreadRecord>> TakeEnded() {
    const std::lock_guard<std::mutex> held(lock_);
    const auto ended =
        std::stable_partition(records_.begin(), records_.end(), [](const auto& r) { return !r->ThreadHasEnded(); });
    std::vector<std::unique_ptr<ThreadRecord>> taken(std::make_move_iterator(ended),
                                                     std::make_move_iterator(records_.end()));
    records_.erase(ended, records_.end());
    return taken;
  }

 private:
  std::mutex lock_;
  std::vector<std::unique_ptr<ThreadRecord>> records_;
};

ThreadRegistry g_threads;
// This thread's record; the registry owns it.
thread_local ThreadRecord* t_record = nullptr;

}  // namespace

// Records are freed outside the registry's lock: freeing one waits for its
// wait's callback, which may be waiting for the lock.
void ThreadRecord::ThreadEnded(void* context) {
  if (const std::unique_ptr<ThreadRecord> record = g_threads.Take(static_cast<ThreadRecord*>(context))) {
    record->EndModule();
  }
}

std::shared_ptr<ApartmentModule> ApartmentModule::OfThisThread() {
  if (t_record == nullptr) {
    auto record = std::make_unique<ThreadRecord>();
    // Without both ends watched, a module could outlive its apartment or its thread.
    if (!record->apartmentEnd || !record->thread || !record->threadEnd) throw std::bad_alloc();
    t_record = g_threads.Add(std::move(record));
  }
  if (!t_record->module) {
    for (const std::unique_ptr<ThreadRecord>& ended : g_threads.TakeEnded()) ended->EndModule();
    Pin();  // windows, hooks and waits point into our code from now on
    auto module = std::make_shared<ApartmentModule>();
    module->platform_->SetOwner(module);
    t_record->module = std::move(module);
  }
  return t_record->module;
}

ApartmentModule::ApartmentModule()
    : platform_(std::make_unique<Win32Platform>()), state_(std::make_unique<ModuleState>(*platform_)) {}

ApartmentModule::~ApartmentModule() = default;

void ApartmentModule::ApartmentEnding() {
  if (t_record == nullptr || !t_record->module) return;
  // A later apartment on this thread starts afresh.
  const std::shared_ptr<ApartmentModule> module = std::move(t_record->module);
  module->EndOnItsThread();
}

void ApartmentModule::EndOnItsThread() {
  ended_ = true;
  EndNetworkWork(*state_, HelperOnEnd::kRelease);
  platform_->End();
}

void ApartmentModule::EndAfterItsThread() {
  ended_ = true;
  EndNetworkWork(*state_, HelperOnEnd::kAbandon);
  state_.reset();
  platform_.reset();
}

}  // namespace artnet::server
