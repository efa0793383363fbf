// flood_host: a host for ArtNet.dll under a network flood, measuring what a
// host and its user would notice. It runs a GetMessage loop on a
// single-threaded apartment, as a host's UI thread does; a second thread
// posts it a "host call" every few milliseconds, and the loop times how long
// each waited in the queue. In the first part of the flood some calls set a
// channel each (logged, so the wire can be checked for every value), in
// pairs: one that leaves at once and one for the flush. Later calls only ask
// the plug-in's name, so the refresh can be watched on a quiet output. A
// host timer counts its ticks meanwhile.
//
// With --bare there is no plug-in: the same loop receives UDP 6454 itself,
// one datagram per FD_READ notification, as the reference for both the
// queue wait and the datagrams a message loop can take.
//
// The script (scripts/floods-windows.sh) and this program take turns through
// files in --dir: this one writes "ready" once the output is enabled; the
// script creates "go" when the flood starts and "stop" when it has ended;
// this one then writes "drained" once the queue is worked off and waits for
// "sampled" (memory read) before it disables the output and exits.
//
// usage: flood_host.exe --dir DIR [--bare] [--dll PATH] [--title T] [--interval-ms 5] [--set-ms 1500]
//                       [--timer-ms 20]

// clang-format off
#include "platform/win32/windows_support.h"
#include <initguid.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "artnet_automation.h"
#include "dll_host.h"

namespace {

namespace win32 = artnet::win32;

using win32::ComPtr;

constexpr UINT kHostCall = WM_APP + 1;  // wParam: the call's number, lParam: posted at (µs)
constexpr UINT kFinish = WM_APP + 2;    // the flood has ended
constexpr UINT kSocketEvent = WM_APP + 3;
constexpr UINT_PTR kHostTimer = 1;
constexpr int kChannels = 512;

struct Options {
  std::string dir;
  bool bare = false;
  std::wstring dll = ARTNET_DLL_PATH;
  std::wstring title = L"FloodBench";
  int intervalMs = 5;
  int setMs = 1500;
  int timerMs = 20;
};

// Microseconds since the program started, on the performance counter.
long long NowUs() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f;
  }();
  static const LONGLONG origin = [] {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return (now.QuadPart - origin) * 1'000'000 / frequency.QuadPart;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Touch(const std::string& path) { std::ofstream(path) << "ready\n"; }

// Owners for the handles this program makes.
using artnet::bench::Library;
using Window = win32::Owned<HWND, &DestroyWindow>;

// The host's helper object: counts LMST_DMXIn_SetChannel, found by name as
// the plug-in looks it up (case-insensitive, as a script host answers). It
// lives as long as the program.
class CountingHelper final : public artnet::bench::StaticDispatch {
 public:
  long long calls = 0;

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count != 1 || _wcsicmp(names[0], L"LMST_DMXIn_SetChannel") != 0) {
      for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = kSetChannelId;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id != kSetChannelId || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
    ++calls;
    return S_OK;
  }

 private:
  static constexpr DISPID kSetChannelId = 1;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// Everything the host thread measures.
struct Host {
  Options options;
  ComPtr<_clsOutputDriver> driver;
  CountingHelper helper;
  win32::UniqueSocket bareSocket;
  std::vector<char> bareBuffer = std::vector<char>(65536);
  std::ofstream log;

  // The flood's window as the posting thread saw the script's files.
  std::atomic<long long> goUs{-1}, stopUs{-1};
  std::vector<double> waitsMs;
  int setCount = 0;
  long long timerTicks = 0, lastTickUs = -1;
  double maxTickGapMs = 0;
  long long datagrams = 0, firstDatagramUs = -1, lastDatagramUs = -1;
  bool finished = false;

  void OnHostCall(WPARAM number, LPARAM postedUs) {
    const long long now = NowUs();
    waitsMs.push_back(static_cast<double>(now - postedUs) / 1000.0);
    if (!driver) return;
    const int k = static_cast<int>(number);
    // In the first part of the flood, every 60 ms a pair of sets: the first
    // leaves at once, the second, inside the 40 ms window, with the flush.
    const int period = std::max(2, 60 / options.intervalMs);
    if (static_cast<long long>(k) * options.intervalMs < options.setMs) {
      if (k % period > 1) return;
      // A channel of its own for each set, so every value stays in the
      // buffer long enough to be seen on the wire if it is sent at all.
      LONG channel = 1 + setCount % kChannels;
      LONG value = 1 + (setCount / kChannels) % 255;
      VARIANT_BOOL stored = VARIANT_FALSE;
      log << "set " << NowUs() << ' ' << channel << ' ' << value << (k % period == 0 ? " first" : " second") << '\n';
      driver->SetChannel(&channel, &value, &stored);
      ++setCount;
    } else {
      win32::Bstr name;
      driver->PluginName(name.Out());
    }
  }

  // Only ticks while the flood runs count; the gaps include those from its
  // start to the first tick and from the last tick to its end.
  void OnTimer() {
    const long long now = NowUs();
    const long long go = goUs, stop = stopUs;
    if (go < 0 || now < go || (stop >= 0 && now > stop)) return;
    ++timerTicks;
    NoteTickGap(lastTickUs >= 0 ? lastTickUs : go, now);
    lastTickUs = now;
  }
  void NoteTickGap(long long from, long long to) {
    maxTickGapMs = std::max(maxTickGapMs, static_cast<double>(to - from) / 1000.0);
  }

  // One datagram per notification: each recvfrom re-enables FD_READ.
  void OnSocket(LPARAM event) {
    if ((WSAGETSELECTEVENT(event) & FD_READ) == 0) return;
    if (recv(bareSocket.Get(), bareBuffer.data(), static_cast<int>(bareBuffer.size()), 0) == SOCKET_ERROR) return;
    const long long now = NowUs();
    if (firstDatagramUs < 0) firstDatagramUs = now;
    lastDatagramUs = now;
    ++datagrams;
  }
};

Host* theHost = nullptr;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kHostCall:
      theHost->OnHostCall(wParam, lParam);
      return 0;
    case kFinish:
      theHost->finished = true;
      return 0;
    case kSocketEvent:
      theHost->OnSocket(lParam);
      return 0;
    case WM_TIMER:
      if (wParam == kHostTimer) theHost->OnTimer();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The host's other work, in its own thread: waits for "go", posts a host
// call every interval until "stop", then says so.
void PostHostCalls(HWND window, Host& host) {
  const Options& options = host.options;
  const std::string go = options.dir + "\\go", stop = options.dir + "\\stop";
  while (!FileExists(go) && !FileExists(stop)) Sleep(5);
  const bool flood = !FileExists(stop);
  if (flood) {
    host.goUs = NowUs();
    const auto start = std::chrono::steady_clock::now();
    for (WPARAM k = 0; !FileExists(stop); ++k) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(options.intervalMs) * k);
      PostMessageW(window, kHostCall, k, static_cast<LPARAM>(NowUs()));
    }
    host.stopUs = NowUs();
  }
  PostMessageW(window, kFinish, 0, 0);
}

// Runs the message loop for `ms`, or until `path` exists when one is given.
void Pump(DWORD ms, const std::string& path = {}) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end && (path.empty() || !FileExists(path))) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--bare") {
      o.bare = true;
    } else if (arg == "--dir" && hasValue) {
      o.dir = argv[++i];
    } else if (arg == "--dll" && hasValue) {
      const std::string path = argv[++i];
      o.dll.assign(path.begin(), path.end());
    } else if (arg == "--title" && hasValue) {
      const std::string title = argv[++i];
      o.title.assign(title.begin(), title.end());
    } else if (arg == "--interval-ms" && hasValue) {
      o.intervalMs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--set-ms" && hasValue) {
      o.setMs = std::atoi(argv[++i]);
    } else if (arg == "--timer-ms" && hasValue) {
      o.timerMs = std::max(1, std::atoi(argv[++i]));
    } else {
      return false;
    }
  }
  return !o.dir.empty();
}

// Creates the driver from the DLL's class factory (no registration needed),
// initialises it with the helper and enables the output.
bool StartPlugin(Host& host, Library& library) {
  if (!artnet::bench::CreateDriver(host.options.dll, library, host.driver)) return false;
  if (!artnet::bench::InitDriver(host.driver.Get(), host.options.title.c_str(), &host.helper)) return false;
  VARIANT_BOOL result = VARIANT_FALSE;
  const long long before = NowUs();
  if (FAILED(host.driver->Enable(&result)) || result != VARIANT_TRUE) return false;
  // The announcement leaves inside Enable: it ties this clock to the wire's.
  host.log << "enable " << before << ' ' << NowUs() << '\n';
  return true;
}

bool StartBare(Host& host, HWND window) {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  host.bareSocket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (host.bareSocket.Get() == INVALID_SOCKET) return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(6454);
  return bind(host.bareSocket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
         WSAAsyncSelect(host.bareSocket.Get(), window, kSocketEvent, FD_READ) == 0;
}

void PrintFigures(const Host& host) {
  const Options& o = host.options;
  const double floodMs = host.goUs >= 0 ? static_cast<double>(host.stopUs - host.goUs) / 1000.0 : 0;
  std::printf("mode %s\n", o.bare ? "bare" : "dll");
  std::printf("host_calls %zu p50_ms %.3f p99_ms %.3f max_ms %.3f\n", host.waitsMs.size(),
              Percentile(host.waitsMs, 0.5), Percentile(host.waitsMs, 0.99), Percentile(host.waitsMs, 1.0));
  std::printf("sets %d\n", host.setCount);
  std::printf("host_timer_ticks %lld expected %.0f max_gap_ms %.1f\n", host.timerTicks, floodMs / o.timerMs,
              host.maxTickGapMs);
  std::printf("helper_calls %lld\n", host.helper.calls);
  const double receivingS = static_cast<double>(host.lastDatagramUs - host.firstDatagramUs) / 1e6;
  std::printf("datagrams %lld per_second %.0f\n", host.datagrams,
              receivingS > 0 ? static_cast<double>(host.datagrams) / receivingS : 0.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Host host;
  if (!ParseOptions(argc, argv, host.options)) {
    std::fprintf(stderr,
                 "usage: flood_host.exe --dir DIR [--bare] [--dll PATH] [--title T] [--interval-ms 5] "
                 "[--set-ms 1500] [--timer-ms 20]\n");
    return 2;
  }
  theHost = &host;
  const Options& o = host.options;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  host.log.open(o.dir + "\\host.log");

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = HostWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"FloodHostWindow";
  RegisterClassW(&windowClass);
  const Window window(CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr));
  Library library;
  if (!window || !(o.bare ? StartBare(host, window.Get()) : StartPlugin(host, library))) {
    std::fprintf(stderr, "flood_host: cannot start the %s (error %lu)\n", o.bare ? "socket" : "plug-in",
                 GetLastError());
    return 1;
  }
  SetTimer(window.Get(), kHostTimer, static_cast<UINT>(o.timerMs), nullptr);
  Pump(300);  // the start-up's own messages
  Touch(o.dir + "\\ready");

  std::thread poster(PostHostCalls, window.Get(), std::ref(host));
  MSG msg;
  while (!host.finished && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  poster.join();
  if (host.goUs >= 0) host.NoteTickGap(host.lastTickUs >= 0 ? host.lastTickUs : host.goUs.load(), host.stopUs);
  host.log << "go " << host.goUs << "\nstop " << host.stopUs << '\n';
  host.log.flush();

  Pump(1000);  // what the flood left queued
  Touch(o.dir + "\\drained");
  Pump(10000, o.dir + "\\sampled");
  KillTimer(window.Get(), kHostTimer);
  PrintFigures(host);
  if (host.driver) {
    VARIANT_BOOL result = VARIANT_FALSE;
    host.driver->Disable(&result);
    host.driver->Term(&result);
    host.driver.Reset();
  }
  CoUninitialize();
  return 0;
}
