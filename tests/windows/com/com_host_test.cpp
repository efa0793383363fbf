// ArtNet.dll as a host uses it: registered, created by its ProgID, called
// early-bound through the type library's header and late-bound by name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "artnet_automation.h"
#include "com_test_support.h"
#include "recording_dispatch.h"

namespace artnet::testing {
namespace {

constexpr HRESULT AutomationError(int number) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number); }

struct ErrorDescription {
  std::wstring source;
  std::wstring description;
};

ErrorDescription TakeErrorInfo() {
  ErrorDescription result;
  win32::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    win32::Bstr source, description;
    info->GetSource(source.Out());
    info->GetDescription(description.Out());
    result = {Text(source), Text(description)};
  }
  return result;
}

class ComHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"ArtNet.clsOutputDriver", &clsid), S_OK);
    ASSERT_TRUE(IsEqualCLSID(clsid, CLSID_clsOutputDriver));
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsOutputDriver, reinterpret_cast<void**>(&driver)),
        S_OK);
  }
  void TearDown() override {
    if (driver != nullptr) driver->Release();
  }

  // Init with the host's names and a helper (nullptr: Nothing).
  HRESULT Init(const wchar_t* appTitle, IDispatch* helper) {
    const win32::Bstr title = NewBstr(appTitle), file = NewBstr(L"ArtNet.dll");
    BSTR titleText = title.Get(), fileText = file.Get();
    VARIANT_BOOL result = VARIANT_TRUE;
    const HRESULT hr = driver->Init(&titleText, &fileText, &helper, &result);
    EXPECT_EQ(result, VARIANT_FALSE);
    return hr;
  }

  HRESULT InvokeByName(const wchar_t* name, std::initializer_list<VARIANT> lastArgumentFirst, VARIANT* result,
                       EXCEPINFO* exception = nullptr, UINT* badArgument = nullptr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT found = driver->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    std::vector<VARIANT> args(lastArgumentFirst);
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    EXCEPINFO ignored{};
    return driver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                          exception != nullptr ? exception : &ignored, badArgument);
  }

  _clsOutputDriver* driver = nullptr;
};

VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

VARIANT Short(SHORT value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}

VARIANT ByRef(LONG* variable) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BYREF | VT_I4;
  V_I4REF(&v) = variable;
  return v;
}

TEST_F(ComHostTest, AnObjectKeepsTheServerLoaded) {
  HMODULE dll = GetModuleHandleW(L"ArtNet.dll");
  ASSERT_NE(dll, nullptr);
  auto canUnload =
      reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);

  ISupportErrorInfo* errors = nullptr;
  ASSERT_EQ(driver->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errors)), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID__clsOutputDriver), S_OK);
  errors->Release();
}

TEST_F(ComHostTest, EarlyBoundCallsReturnResultsAndRaiseAutomationErrors) {
  win32::Bstr name;
  ASSERT_EQ(driver->PluginName(name.Out()), S_OK);
  EXPECT_EQ(Text(name), L"ArtNet Plugin");

  LONG channel = 513, value = 10;
  VARIANT_BOOL stored = VARIANT_TRUE;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &stored), S_OK);
  EXPECT_EQ(stored, VARIANT_FALSE);

  channel = 0;
  stored = VARIANT_TRUE;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &stored), AutomationError(9));
  EXPECT_EQ(stored, VARIANT_FALSE);
  ErrorDescription error = TakeErrorInfo();
  EXPECT_EQ(error.source, L"ArtNet.clsOutputDriver");
  EXPECT_EQ(error.description, L"Subscript out of range");

  channel = 1;
  value = 256;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &stored), AutomationError(6));
  EXPECT_EQ(TakeErrorInfo().description, L"Overflow");
  EXPECT_EQ(channel, 1);  // by reference, never written back
  EXPECT_EQ(value, 256);

  // A failure the caller never read is not left for a later success.
  EXPECT_EQ(driver->SetChannel(&channel, &value, &stored), AutomationError(6));
  value = 1;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &stored), S_OK);
  EXPECT_EQ(TakeErrorInfo().description, L"");
}

TEST_F(ComHostTest, NamesMapToTheTypeLibrarysDispatchIds) {
  const std::pair<const wchar_t*, DISPID> members[] = {
      {L"Disable", 0x60030000},   {L"Enable", 0x60030001}, {L"PluginName", 0x60030002}, {L"SetChannel", 0x60030003},
      {L"Configure", 0x60030004}, {L"Init", 0x60030005},   {L"Term", 0x60030006},
  };
  UINT count = 0;
  ASSERT_EQ(driver->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(driver->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
  for (const auto& [name, id] : members) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID ours = 0, described = 0;
    EXPECT_EQ(driver->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &ours), S_OK) << name;
    EXPECT_EQ(ours, id) << name;
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &described), S_OK) << name;
    EXPECT_EQ(described, id) << name;
  }

  TYPEATTR* dispatchAttributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&dispatchAttributes), S_OK);
  const WORD expectedFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
  EXPECT_EQ(dispatchAttributes->wTypeFlags & expectedFlags, expectedFlags);
  info->ReleaseTypeAttr(dispatchAttributes);
  ITypeLib* library = nullptr;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(&library, &index), S_OK);
  TLIBATTR* libraryAttributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, LIBID_ArtNet));
  EXPECT_EQ(libraryAttributes->lcid, 0x409u);
  EXPECT_EQ(libraryAttributes->wMajorVerNum, 1);
  EXPECT_EQ(libraryAttributes->wMinorVerNum, 0);
  library->ReleaseTLibAttr(libraryAttributes);
  library->Release();

  // The vtable half of the dual interface: the seven methods after IDispatch's, in order.
  HREFTYPE vtableHalf = 0;
  ITypeInfo* vtable = nullptr;
  ASSERT_EQ(info->GetRefTypeOfImplType(-1, &vtableHalf), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(vtableHalf, &vtable), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualIID(attributes->guid, IID__clsOutputDriver));
  EXPECT_EQ(attributes->cFuncs, 7);
  vtable->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < 7; ++i) {
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(i, &function), S_OK);
    EXPECT_EQ(function->memid, members[i].second);
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    vtable->ReleaseFuncDesc(function);
  }
  vtable->Release();
  info->Release();
}

// Late-bound callers spell names in any case; anything that is not exactly
// one of ours, letter for letter, is unknown.
TEST_F(ComHostTest, NamesAreFoundInAnyCaseAndNothingElseIs) {
  constexpr DISPID kUnknown = DISPID_UNKNOWN;
  const struct {
    std::vector<const wchar_t*> names;
    HRESULT expected;
    std::vector<DISPID> ids;
  } cases[] = {
      {{L"setchannel", L"VALUE", L"Channel"}, S_OK, {0x60030003, 1, 0}},
      {{L"SETCHANNEL"}, S_OK, {0x60030003}},
      {{L"pluginNAME"}, S_OK, {0x60030002}},
      {{L"term"}, S_OK, {0x60030006}},
      {{L"INIT", L"lmstpluginhelper", L"CallingAppTitle"}, S_OK, {0x60030005, 2, 0}},
      {{L"Flush"}, DISP_E_UNKNOWNNAME, {kUnknown}},
      {{L"SetChanne"}, DISP_E_UNKNOWNNAME, {kUnknown}},
      {{L"SetChannels"}, DISP_E_UNKNOWNNAME, {kUnknown}},
      {{L""}, DISP_E_UNKNOWNNAME, {kUnknown}},
      {{L"Set\u0421hannel"}, DISP_E_UNKNOWNNAME, {kUnknown}},  // a Cyrillic capital Es
      {{L"Init\u0130"}, DISP_E_UNKNOWNNAME, {kUnknown}},       // a dotted capital I
      {{L"SetChannel", L"Value", L"Channels"}, DISP_E_UNKNOWNNAME, {0x60030003, 1, kUnknown}},
      {{L"Term", L"value"}, DISP_E_UNKNOWNNAME, {0x60030006, kUnknown}},
      {{L"Flush", L"value"}, DISP_E_UNKNOWNNAME, {kUnknown, kUnknown}},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << index++);
    std::vector<LPOLESTR> names;
    for (const wchar_t* name : c.names) names.push_back(const_cast<LPOLESTR>(name));
    std::vector<DISPID> ids(names.size(), 12345);
    EXPECT_EQ(
        driver->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT, ids.data()),
        c.expected);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST_F(ComHostTest, InvokeTakesVariablesByReferenceShortsAndLiterals) {
  LONG channel = 600, value = 7;
  VARIANT result;
  VariantInit(&result);
  // SetChannel(channel, value) with script variables: passed by reference.
  ASSERT_EQ(InvokeByName(L"SetChannel", {ByRef(&value), ByRef(&channel)}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_BOOL);
  EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);  // above 512
  EXPECT_EQ(channel, 600);
  EXPECT_EQ(value, 7);

  ASSERT_EQ(InvokeByName(L"SetChannel", {Short(5), Short(600)}, &result), S_OK);
  EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);
  ASSERT_EQ(InvokeByName(L"SetChannel", {Long(5), Long(513)}, &result), S_OK);
  EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);

  ASSERT_EQ(InvokeByName(L"PluginName", {}, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&result), L"ArtNet Plugin");
  VariantClear(&result);

  // Named arguments, in the other order.
  VARIANT named[] = {Long(5), Long(700)};
  DISPID positions[] = {1, 0};  // value, Channel
  DISPPARAMS params{named, positions, 2, 2};
  EXCEPINFO exception{};
  ASSERT_EQ(
      driver->Invoke(0x60030003, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, nullptr),
      S_OK);
  EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);  // channel 700, not 5
}

TEST_F(ComHostTest, InvokeReportsErrorsAsAScriptSeesThem) {
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  ASSERT_EQ(InvokeByName(L"SetChannel", {Long(1), Long(0)}, &result, &exception), DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, AutomationError(9));
  EXPECT_STREQ(exception.bstrSource, L"ArtNet.clsOutputDriver");
  EXPECT_STREQ(exception.bstrDescription, L"Subscript out of range");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);

  VARIANT text;
  VariantInit(&text);
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"abc");
  UINT badArgument = 99;
  EXPECT_EQ(InvokeByName(L"SetChannel", {Long(1), text}, &result, nullptr, &badArgument), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(badArgument, 1u);  // the channel, last in DISPPARAMS
  VariantClear(&text);

  EXPECT_EQ(InvokeByName(L"SetChannel", {Long(1)}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeByName(L"Enable", {Long(1)}, &result), DISP_E_BADPARAMCOUNT);
  VARIANT omitted;
  VariantInit(&omitted);
  V_VT(&omitted) = VT_ERROR;
  V_ERROR(&omitted) = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(InvokeByName(L"SetChannel", {Long(1), omitted}, &result, nullptr, &badArgument), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(badArgument, 1u);
  DISPPARAMS none{};
  EXPECT_EQ(
      driver->Invoke(0x60030099, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
}

// What a thread in another apartment got from the object.
struct RemoteCall {
  IStream* stream = nullptr;
  HRESULT unmarshal = E_FAIL, name = E_FAIL, error = E_FAIL;
  std::wstring text;
};

DWORD WINAPI CallFromAnotherApartment(void* context) {
  auto& call = *static_cast<RemoteCall*>(context);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  _clsOutputDriver* remote = nullptr;
  call.unmarshal = CoGetInterfaceAndReleaseStream(call.stream, IID__clsOutputDriver, reinterpret_cast<void**>(&remote));
  if (SUCCEEDED(call.unmarshal)) {
    win32::Bstr name;
    call.name = remote->PluginName(name.Out());
    call.text = Text(name);
    LONG channel = 0, value = 1;
    VARIANT_BOOL result = VARIANT_TRUE;
    call.error = remote->SetChannel(&channel, &value, &result);
    remote->Release();
  }
  CoUninitialize();
  return 0;
}

// Another apartment reaches the object through the standard marshaler,
// which finds the interface's type library through the registration.
TEST_F(ComHostTest, AnotherApartmentCallsThroughTheTypeLibraryMarshaler) {
  RemoteCall call;
  ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID__clsOutputDriver, driver, &call.stream), S_OK);
  HANDLE thread = CreateThread(nullptr, 0, CallFromAnotherApartment, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  // The object's apartment serves the calls through its message loop.
  EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000, thread));
  CloseHandle(thread);
  EXPECT_EQ(call.unmarshal, S_OK);
  EXPECT_EQ(call.name, S_OK);
  EXPECT_EQ(call.text, L"ArtNet Plugin");
  // Wine 8's channel carries the HRESULT but not the IErrorInfo across apartments.
  EXPECT_EQ(call.error, AutomationError(9));
}

TEST_F(ComHostTest, TheModuleHoldsOneReferenceToTheHelperUntilReplaced) {
  RecordingDispatch helper;
  EXPECT_EQ(Init(L"ComHostTest", &helper), S_OK);
  EXPECT_EQ(helper.refs, 2u);
  Init(L"ComHostTest", nullptr);  // Nothing: no helper
  EXPECT_EQ(helper.refs, 1u);
}

TEST_F(ComHostTest, LifeCycle) {
  ASSERT_EQ(Init(L"ComHostTest", nullptr), S_OK);
  VARIANT_BOOL result = VARIANT_FALSE;
  ASSERT_EQ(driver->Enable(&result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  LONG channel = 3, value = 200;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  PumpUntil([] { return false; }, 120);  // the deferred flush and its timer
  EXPECT_EQ(driver->Disable(&result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  result = VARIANT_TRUE;
  EXPECT_EQ(driver->Term(&result), S_OK);
  EXPECT_EQ(result, VARIANT_FALSE);
}

// Run by wire_test.sh beside a Linux peer: values set here leave as ArtDmx,
// and the peer's ArtDmx for the receive universe reaches the helper.
TEST_F(ComHostTest, WireRoundTrip) {
  const char* ready = std::getenv("ARTNET_WIRE_READY_FILE");
  if (ready == nullptr) GTEST_SKIP() << "run by wire_test.sh";
  RecordingDispatch helper;
  const HRESULT init = Init(L"ComWireTest", &helper);
  if (init != S_OK) Init(L"ComWireTest", nullptr);  // the helper lives on this stack
  ASSERT_EQ(init, S_OK);
  VARIANT_BOOL result = VARIANT_FALSE;
  LONG channel = 2, value = 7;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);  // stored while output is off
  ASSERT_EQ(driver->Enable(&result), S_OK);
  channel = 1;
  value = 255;
  EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);  // sent at once with channel 2
  PumpUntil([] { return false; }, 200);
  std::ofstream(ready) << "ready\n";
  EXPECT_TRUE(PumpUntil([&] { return helper.calls.size() >= 2; }, 10000));
  ASSERT_EQ(helper.calls.size(), 2u);
  EXPECT_EQ(helper.calls[0].channel, 1);
  EXPECT_EQ(helper.calls[0].value, 10);
  EXPECT_EQ(helper.calls[1].channel, 2);
  EXPECT_EQ(helper.calls[1].value, 20);
  EXPECT_EQ(driver->Disable(&result), S_OK);
  EXPECT_EQ(driver->Term(&result), S_OK);
  Init(L"ComWireTest", nullptr);  // the helper lives on this stack
}

// The wire scenarios below are run by scripts that watch the network from a
// peer namespace; the host and the script take turns through files named by
// the environment (Windows paths). Each scenario skips when run alone.
const char* WireFile(const char* variable) { return std::getenv(variable); }

void Touch(const char* path) { std::ofstream(path) << "ready\n"; }

// Runs the message loop until the script creates `path`.
bool PumpUntilFileExists(const char* path, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() >= end) return false;
    PumpUntil([] { return false; }, 50);
  }
  return true;
}

void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// The same calls lumenhost makes in same_bytes_test.sh: an announcement,
// three immediate sends (spaced beyond the 40 ms window), the answer to the
// script's poll, and nothing from Disable or Term.
TEST_F(ComHostTest, WireSameBytes) {
  const char* sent = WireFile("ARTNET_WIRE_SENT_FILE");
  const char* polled = WireFile("ARTNET_WIRE_POLLED_FILE");
  if (sent == nullptr || polled == nullptr) GTEST_SKIP() << "run by same_bytes_test.sh";
  ASSERT_EQ(Init(L"ComWireBytes", nullptr), S_OK);
  VARIANT_BOOL result = VARIANT_FALSE;
  ASSERT_EQ(driver->Enable(&result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  const std::pair<LONG, LONG> values[] = {{1, 10}, {5, 200}, {3, 33}};
  for (auto [channel, value] : values) {
    Pump(200);
    EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);
    EXPECT_EQ(result, VARIANT_TRUE);
  }
  Touch(sent);
  EXPECT_TRUE(PumpUntilFileExists(polled, 20000));  // the poll is answered meanwhile
  EXPECT_EQ(driver->Disable(&result), S_OK);
  EXPECT_EQ(driver->Term(&result), S_OK);
}

// A burst and then silence, timed by the listener (pacing_test.sh): the
// first change leaves at once, the rest of the burst in one ArtDmx about
// 50 ms later, and the whole buffer again about every 4 s.
TEST_F(ComHostTest, WirePacing) {
  const char* done = WireFile("ARTNET_WIRE_DONE_FILE");
  if (done == nullptr) GTEST_SKIP() << "run by pacing_test.sh";
  ASSERT_EQ(Init(L"ComWirePacing", nullptr), S_OK);
  VARIANT_BOOL result = VARIANT_FALSE;
  ASSERT_EQ(driver->Enable(&result), S_OK);
  Pump(300);
  for (LONG channel = 1; channel <= 20; ++channel) {
    LONG value = channel * 10;
    EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);
  }
  Pump(9500);  // two refreshes
  EXPECT_EQ(driver->Disable(&result), S_OK);
  EXPECT_EQ(driver->Term(&result), S_OK);
  Touch(done);
}

// Another program holds port 6454 (port_in_use_test.sh): Enable warns once,
// every packet still leaves from a free port; once the port is released the
// sends return to it, with no second warning.
TEST_F(ComHostTest, WirePortInUse) {
  const char* sent = WireFile("ARTNET_WIRE_SENT_FILE");
  const char* released = WireFile("ARTNET_WIRE_RELEASED_FILE");
  if (sent == nullptr || released == nullptr) GTEST_SKIP() << "run by port_in_use_test.sh";
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, WarningBoxes::Tick);
  ASSERT_NE(timer, 0u);
  ASSERT_EQ(Init(L"ComWirePortInUse", nullptr), S_OK);
  VARIANT_BOOL result = VARIANT_FALSE;
  EXPECT_EQ(driver->Enable(&result), S_OK);  // returns once the box is closed
  EXPECT_EQ(result, VARIANT_TRUE);
  EXPECT_EQ(WarningBoxes::shown, 1);
  EXPECT_EQ(WarningBoxes::title, L"ArtNet");
  EXPECT_EQ(WarningBoxes::text, L"Port 0x1936 is already in use by another program. Please close that program.");
  EXPECT_EQ(WarningBoxes::buttons, std::vector<int>{IDOK});
  for (LONG channel = 1; channel <= 3; ++channel) {
    Pump(200);
    LONG value = channel * 11;
    EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);
  }
  Pump(200);
  Touch(sent);
  EXPECT_TRUE(PumpUntilFileExists(released, 20000));
  for (LONG channel = 4; channel <= 5; ++channel) {
    Pump(200);
    LONG value = channel * 11;
    EXPECT_EQ(driver->SetChannel(&channel, &value, &result), S_OK);
  }
  Pump(300);
  EXPECT_EQ(driver->Disable(&result), S_OK);
  EXPECT_EQ(driver->Term(&result), S_OK);
  KillTimer(nullptr, timer);
  EXPECT_EQ(WarningBoxes::shown, 1);
}

}  // namespace
}  // namespace artnet::testing
