#include "com/apartment_module.h"

// clang-format off
#include <objbase.h>
#include <objidl.h>
// clang-format on

#include <atomic>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "com/server_module.h"
#include "engine/transport.h"
#include "platform/win32/windows_support.h"

namespace artnet::server {
namespace {

// What the plug-in knows of one thread, in a TLS slot: a slot, unlike a
// thread_local, can still be read while the thread ends.
struct ThreadRecord {
  ApartmentModule* module = nullptr;
  bool watched = false;  // the apartment's end is watched
};

std::atomic<bool> g_anyModule{false};

DWORD Slot() {
  static const DWORD slot = TlsAlloc();
  return slot;
}

ThreadRecord* ThisThread() { return static_cast<ThreadRecord*>(TlsGetValue(Slot())); }

// Modules of threads that ended in their apartment, their sockets still open.
std::mutex g_endedLock;
std::vector<ApartmentModule*> g_ended;

// A wait on the system's thread pool for one thread's end: there, outside
// the loader lock and once DllMain has filed the thread's module, its socket
// is closed at once rather than when the next thread makes a module.
struct ThreadEndWait {
  win32::Owned<HANDLE, &CloseHandle> thread;
  HANDLE wait = nullptr;
};

VOID CALLBACK OnThreadEnded(PVOID context, BOOLEAN) {
  const std::unique_ptr<ThreadEndWait> ended(static_cast<ThreadEndWait*>(context));
  ApartmentModule::CloseSocketsOfEndedThreads();
  UnregisterWait(ended->wait);  // inside its own callback: does not wait for it
}

void WatchForTheEndOfThisThread() {
  auto watch = std::make_unique<ThreadEndWait>();
  watch->thread = win32::Owned<HANDLE, &CloseHandle>(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
  if (watch->thread && RegisterWaitForSingleObject(&watch->wait, watch->thread.Get(), &OnThreadEnded, watch.get(),
                                                   INFINITE, WT_EXECUTEONLYONCE)) {
    watch.release();  // the callback's now
  }
}

}  // namespace

// Told by COM when a thread leaves its apartment. Stateless: it acts on the
// thread it is called on, so one serves every thread and stays registered.
class ApartmentEndWatch final : public IInitializeSpy {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IInitializeSpy)) {
      *object = static_cast<IInitializeSpy*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
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
ApartmentEndWatch g_watch;
}  // namespace

ApartmentModule& ApartmentModule::OfThisThread() {
  if (Slot() == TLS_OUT_OF_INDEXES) throw std::bad_alloc();
  ThreadRecord* record = ThisThread();
  if (record != nullptr && record->module != nullptr) return *record->module;
  if (record == nullptr) {
    auto made = std::make_unique<ThreadRecord>();
    if (!TlsSetValue(Slot(), made.get())) throw std::bad_alloc();
    record = made.release();
    WatchForTheEndOfThisThread();
  }
  CloseSocketsOfEndedThreads();  // before this thread's socket wants port 6454
  g_anyModule = true;
  Pin();
  record->module = new ApartmentModule();
  if (!record->watched) {
    ULARGE_INTEGER cookie{};
    record->watched = SUCCEEDED(CoRegisterInitializeSpy(&g_watch, &cookie));
  }
  return *record->module;
}

void ApartmentModule::AddObject() { InterlockedIncrement(&holds_); }
void ApartmentModule::ReleaseObject() { Drop(); }

void ApartmentModule::Drop() {
  // An abandoned module's thread is gone: its windows and its host helper
  // cannot be touched from here.
  if (InterlockedDecrement(&holds_) == 0 && !abandoned_) delete this;
}

void ApartmentModule::ApartmentEnding() {
  ThreadRecord* record = ThisThread();
  if (record == nullptr || record->module == nullptr) return;
  // A later apartment on this thread starts afresh.
  std::exchange(record->module, nullptr)->Drop();
}

// Under the loader lock: no window, socket or COM work, only bookkeeping.
void ApartmentModule::ThreadEnding() {
  if (!g_anyModule) return;
  ThreadRecord* record = ThisThread();
  if (record == nullptr) return;
  TlsSetValue(Slot(), nullptr);
  if (record->module != nullptr) {
    record->module->abandoned_ = true;  // from now on, nothing may free it
    const std::lock_guard<std::mutex> held(g_endedLock);
    g_ended.push_back(record->module);
  }
  delete record;
}

void ApartmentModule::CloseSocketsOfEndedThreads() {
  std::vector<ApartmentModule*> ended;
  {
    const std::lock_guard<std::mutex> held(g_endedLock);
    ended.swap(g_ended);
  }
  for (ApartmentModule* module : ended) {
    if (module->state_.HasTransport()) module->state_.transport().socket().Close();
  }
}

}  // namespace artnet::server
