// call_bench: what the host's calls into ArtNet.dll cost, each path beside a
// limit measured in the same process, in interleaved rounds so that both
// sides meet the same load.
//
// The host calls every method late-bound, GetIDsOfNames then Invoke on each
// call, and a fading console makes some 22,000 SetChannel calls a second,
// nearly all inside the 40 ms pacing window (deferred: they only arm the
// flush timer). Rows:
//   deferred SetChannel by name  | a trivial by-name call on an object of
//                                  our own that reads the clock twice
//   deferred SetChannel, vtable  | two GetSystemTimeAsFileTime
//   immediate SetChannel, both   | a sendto of the same 530 bytes to the
//                                  same destination from our own socket
// A deferred round starts after the window has lapsed, with one untimed call
// that sends and opens it; a round that outlasts the window is redone.
// Immediate calls are timed singly, each after the window has lapsed.
//
// It sends, so it runs only inside scripts/in-test-netns.sh (exit 77
// elsewhere); the plug-in sends to 10.99.0.2, which the namespace's artnet0
// drops, so nothing comes back to it.
//
// usage: call_bench.exe [--smoke] [--dll PATH] [--rounds 31] [--ops 2000] [--pairs 41]

// clang-format off
#include "platform/win32/windows_support.h"
#include <initguid.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "artnet_automation.h"
#include "dll_host.h"

namespace {

namespace win32 = artnet::win32;

using artnet::bench::Library;
using win32::ComPtr;

constexpr wchar_t kTitle[] = L"CallBench";
constexpr char kDestination[] = "10.99.0.2";
constexpr int kArtNetPort = 6454;
constexpr int kChannels = 512;
constexpr int kArtDmxBytes = 18 + kChannels;
// Longer than the 40 ms window and the 50 ms flush, so both have run.
constexpr double kLapseMs = 60;
// The window's end is a single-precision time of day, a few ms coarse late
// in the day: a round ending later than this may have left the window.
constexpr double kRoundLimitMs = 25;

struct Options {
  std::wstring dll = ARTNET_DLL_PATH;
  int rounds = 31;
  int ops = 2000;
  int pairs = 41;
};

double Frequency() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return frequency;
}

LONGLONG Ticks() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double ElapsedNs(LONGLONG from, LONGLONG to) { return static_cast<double>(to - from) * 1e9 / Frequency(); }

// Runs the message loop for `ms`: the plug-in's timers and socket events.
void Pump(double ms) {
  const LONGLONG end = Ticks() + static_cast<LONGLONG>(ms * Frequency() / 1000);
  for (LONGLONG now = Ticks(); now < end; now = Ticks()) {
    const auto left = static_cast<DWORD>(std::ceil(static_cast<double>(end - now) * 1000 / Frequency()));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

// Keeps the limit's clock readings from being optimised away.
volatile DWORD g_sink = 0;

void TwoClockReads() {
  FILETIME a, b;
  GetSystemTimeAsFileTime(&a);
  GetSystemTimeAsFileTime(&b);
  g_sink = g_sink + a.dwLowDateTime + b.dwLowDateTime;
}

// The least a by-name call can cost: one name, two Long arguments, and the
// pacing's two clock readings.
class TrivialObject final : public artnet::bench::StaticDispatch {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override {
    ids[0] = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (params->cArgs != 2 || V_VT(&params->rgvarg[0]) != VT_I4 || V_VT(&params->rgvarg[1]) != VT_I4)
      return DISP_E_TYPEMISMATCH;
    g_sink = g_sink + static_cast<DWORD>(V_I4(&params->rgvarg[0]) + V_I4(&params->rgvarg[1]));
    TwoClockReads();
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = VARIANT_TRUE;
    return S_OK;
  }
};

// As the host calls: the id by name, then Invoke with two Longs, every time.
bool CallByName(IDispatch* object, const wchar_t* name, LONG channel, LONG value) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  VARIANT args[2];  // last argument first
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = value;
  V_VT(&args[1]) = VT_I4;
  V_I4(&args[1]) = channel;
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  UINT badArgument = 0;
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &badArgument);
  return SUCCEEDED(hr) && V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
}

struct Bench {
  Options options;
  ComPtr<_clsOutputDriver> driver;
  TrivialObject trivial;
  win32::UniqueSocket socket;
  sockaddr_in destination{};
  std::vector<char> artDmx = std::vector<char>(kArtDmxBytes);
  int calls = 0;  // every SetChannel so far: picks the next channel and value

  // Channels in turn; each visit raises the channel's value by one, so
  // every call changes what is stored.
  void NextValue(LONG& channel, LONG& value) {
    channel = 1 + calls % kChannels;
    value = (calls / kChannels) % 256;
    ++calls;
  }
  bool SetByName() {
    LONG channel, value;
    NextValue(channel, value);
    return CallByName(driver.Get(), L"SetChannel", channel, value);
  }
  bool SetThroughVtable() {
    LONG channel, value;
    NextValue(channel, value);
    VARIANT_BOOL stored = VARIANT_FALSE;
    return SUCCEEDED(driver->SetChannel(&channel, &value, &stored)) && stored == VARIANT_TRUE;
  }
  bool TrivialByName() {
    LONG channel, value;
    NextValue(channel, value);
    return CallByName(&trivial, L"SetChannel", channel, value);
  }
  bool ClockReads() {
    TwoClockReads();
    return true;
  }
  bool SendLimit() {
    ++artDmx[12];  // the sequence, as the plug-in advances it
    return sendto(socket.Get(), artDmx.data(), kArtDmxBytes, 0, reinterpret_cast<const sockaddr*>(&destination),
                  sizeof destination) == kArtDmxBytes;
  }
};

using Step = bool (Bench::*)();

struct Row {
  Row(const char* path, const char* limit, double goal) : path(path), limit(limit), goal(goal) {}
  const char* path;
  const char* limit;
  double goal;
  std::vector<double> pathNs, limitNs, ratios;
  int redone = 0;
};

// Times `count` calls of `step`; 0 when one of them failed.
double TimeNs(Bench& bench, Step step, int count) {
  bool ok = true;
  const LONGLONG start = Ticks();
  for (int i = 0; i < count; ++i) ok &= (bench.*step)();
  const LONGLONG end = Ticks();
  return ok ? ElapsedNs(start, end) / count : 0;
}

bool Fail(const char* what) {
  std::fprintf(stderr, "call_bench: %s failed\n", what);
  return false;
}

// Rounds of `ops` deferred calls, each after the window lapsed and one call
// reopened it, alternating with rounds of the limit. A first pair warms up.
bool RunDeferred(Bench& bench, Row& row, Step path, Step limit) {
  const int ops = bench.options.ops;
  for (int round = -1; round < bench.options.rounds; ++round) {
    const bool limitFirst = round % 2 == 0;
    double limitNs = limitFirst ? TimeNs(bench, limit, ops) : 0;
    double pathNs = 0;
    for (;;) {
      Pump(kLapseMs);
      const LONGLONG opened = Ticks();
      if (!(bench.*path)()) return Fail(row.path);
      pathNs = TimeNs(bench, path, ops);
      if (pathNs == 0) return Fail(row.path);
      if (ElapsedNs(opened, Ticks()) < kRoundLimitMs * 1e6) break;
      if (++row.redone > std::max(10, bench.options.rounds)) return Fail("keeping the rounds inside the window");
    }
    if (!limitFirst) limitNs = TimeNs(bench, limit, ops);
    if (limitNs == 0) return Fail(row.limit);
    if (round < 0) continue;
    row.pathNs.push_back(pathNs);
    row.limitNs.push_back(limitNs);
    row.ratios.push_back(pathNs / limitNs);
  }
  Pump(kLapseMs);
  return true;
}

// Pairs of single calls in alternating order, each after the window lapsed.
// The limit's call, too, follows as long an idle wait: under Wine the first
// call after one costs tens of microseconds more than the next.
bool RunImmediate(Bench& bench, Row& row, Step path) {
  for (int pair = -1; pair < bench.options.pairs;) {
    const bool limitFirst = pair % 2 == 0;
    double limitNs = 0, pathNs = 0;
    for (const bool limitTurn : {limitFirst, !limitFirst}) {
      Pump(kLapseMs);
      (limitTurn ? limitNs : pathNs) = TimeNs(bench, limitTurn ? &Bench::SendLimit : path, 1);
    }
    if (pathNs == 0) return Fail(row.path);
    if (limitNs == 0) return Fail("sendto");
    // Far cheaper than a send: the call found the window still open.
    if (pathNs < limitNs / 4) {
      if (++row.redone > std::max(10, bench.options.pairs)) return Fail("waiting for the window to lapse");
      continue;
    }
    if (pair >= 0) {
      row.pathNs.push_back(pathNs);
      row.limitNs.push_back(limitNs);
      row.ratios.push_back(pathNs / limitNs);
    }
    ++pair;
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintRow(const Row& row) {
  const bool micro = Median(row.limitNs) >= 10'000;
  const double scale = micro ? 1e-3 : 1;
  const char* unit = micro ? "us" : "ns";
  const double ratio = Median(row.ratios);
  std::printf("%-32s %8.1f %s %8.1f %s   %5.2f / %5.2f / %5.2f   <= %.1fx %-7s %d\n", row.path,
              Median(row.pathNs) * scale, unit, Median(row.limitNs) * scale, unit,
              *std::min_element(row.ratios.begin(), row.ratios.end()), ratio,
              *std::max_element(row.ratios.begin(), row.ratios.end()), row.goal, ratio <= row.goal ? "met" : "not met",
              row.redone);
  std::printf("  limit: %s\n", row.limit);
}

bool WriteSettings() {
  const std::wstring section =
      std::wstring(L"Software\\VB and VBA Program Settings\\") + kTitle + L"\\Plugins\\ArtNet.dll";
  win32::RegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, section.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Out(), nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::wstring destination = win32::Wide(kDestination);
  const wchar_t* const values[][2] = {{L"ArtNet_BroadcastAdress", destination.c_str()},
                                      {L"ArtNet_SubNet", L"0"},
                                      {L"ArtNet_InputUniverse1", L"0"},
                                      {L"ArtNet_OutputUniverse1", L"1"}};
  for (const auto& [name, text] : values) {
    const auto bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes) != ERROR_SUCCESS)
      return false;
  }
  return true;
}

// The driver from the DLL's class factory (no registration needed), its
// settings from the registry, the output enabled.
bool StartPlugin(Bench& bench, Library& library) {
  if (!WriteSettings()) return Fail("writing the settings");
  if (!artnet::bench::CreateDriver(bench.options.dll, library, bench.driver)) return Fail("creating the driver");
  if (!artnet::bench::InitDriver(bench.driver.Get(), kTitle, nullptr)) return Fail("Init");
  VARIANT_BOOL result = VARIANT_FALSE;
  if (FAILED(bench.driver->Enable(&result)) || result != VARIANT_TRUE) return Fail("Enable");
  return true;
}

// The limit's socket and an ArtDmx of 512 channels for universe 0.
bool StartSocket(Bench& bench) {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return Fail("WSAStartup");
  bench.socket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!bench.socket) return Fail("socket");
  bench.destination.sin_family = AF_INET;
  bench.destination.sin_port = htons(kArtNetPort);
  bench.destination.sin_addr.s_addr = inet_addr(kDestination);
  std::memcpy(bench.artDmx.data(), "Art-Net\0\x00\x50\x00\x0e\x00\x00\x00\x00\x02\x00", 18);
  return bench.SendLimit() || Fail("sendto");
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--smoke") {
      o.rounds = 3, o.ops = 500, o.pairs = 3;
    } else if (arg == "--dll" && hasValue) {
      const std::string path = argv[++i];
      o.dll.assign(path.begin(), path.end());
    } else if (arg == "--rounds" && hasValue) {
      o.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--ops" && hasValue) {
      o.ops = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--pairs" && hasValue) {
      o.pairs = std::max(1, std::atoi(argv[++i]));
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Bench bench;
  if (!ParseOptions(argc, argv, bench.options)) {
    std::fprintf(stderr, "usage: call_bench.exe [--smoke] [--dll PATH] [--rounds 31] [--ops 2000] [--pairs 41]\n");
    return 2;
  }
  const char* netns = std::getenv("ARTNET_TEST_NETNS");
  if (netns == nullptr || std::strcmp(netns, "1") != 0) {
    std::printf("skipped: sends datagrams, run it inside scripts/in-test-netns.sh\n");
    return 77;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    Fail("CoInitializeEx");
    return 1;
  }
  Library library;
  if (!StartSocket(bench) || !StartPlugin(bench, library)) return 1;
  Pump(300);  // the start-up's own messages

  Row rows[] = {
      {"deferred SetChannel by name", "trivial by-name Invoke on another object + two GetSystemTimeAsFileTime", 2.0},
      {"deferred SetChannel, vtable", "two GetSystemTimeAsFileTime", 1.5},
      {"immediate SetChannel by name", "Winsock sendto of 530 bytes to the same destination", 1.2},
      {"immediate SetChannel, vtable", "Winsock sendto of 530 bytes to the same destination", 1.2},
  };
  const bool ok = RunDeferred(bench, rows[0], &Bench::SetByName, &Bench::TrivialByName) &&
                  RunDeferred(bench, rows[1], &Bench::SetThroughVtable, &Bench::ClockReads) &&
                  RunImmediate(bench, rows[2], &Bench::SetByName) &&
                  RunImmediate(bench, rows[3], &Bench::SetThroughVtable);
  if (ok) {
    const Options& o = bench.options;
    std::printf("ArtNet.dll %s: %d rounds of %d deferred calls, %d immediate pairs\n",
                sizeof(void*) == 8 ? "x86_64" : "i686", o.rounds, o.ops, o.pairs);
    std::printf("%-32s %11s %11s   %-21s   %-15s %s\n", "path", "median", "limit", "ratio min / med / max", "goal",
                "redone");
    for (const Row& row : rows) PrintRow(row);
    std::fflush(stdout);
  }
  VARIANT_BOOL result = VARIANT_FALSE;
  bench.driver->Disable(&result);
  bench.driver->Term(&result);
  bench.driver.Reset();
  CoUninitialize();
  return ok ? 0 : 1;
}
