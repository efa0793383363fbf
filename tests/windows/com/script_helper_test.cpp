// The helper adapter against a real script object: an instance of a
// VBScript class, which answers name lookups only through IDispatchEx, as
// when a script host hands one to Init.
#include <gtest/gtest.h>

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <activscp.h>
// clang-format on

#include "com/dispatch_helper.h"

namespace artnet::testing {
namespace {

#ifdef _WIN64
using ScriptParse = IActiveScriptParse64;
#else
using ScriptParse = IActiveScriptParse32;
#endif

class ScriptSite final : public win32::StaticUnknown<IActiveScriptSite> {
 public:
  HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR, DWORD, IUnknown**, ITypeInfo**) override {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }
};

constexpr const wchar_t* kHostScript =
    L"Class DmxInput\n"
    L"  Public Calls\n"
    L"  Public Sub LMST_DMXIn_SetChannel(Channel, Value)\n"
    L"    If Value = 13 Then Err.Raise 6\n"
    L"    Calls = Calls & Channel & \":\" & TypeName(Channel) & \"=\" & Value & \":\" & TypeName(Value) & \" \"\n"
    L"  End Sub\n"
    L"End Class\n"
    L"Class Silent\n"
    L"End Class\n"
    L"Dim helper, other\n"
    L"Set helper = New DmxInput\n"
    L"Set other = New Silent\n";

// A VBScript engine with the host script's two objects.
class ScriptHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CLSID engine{};
    ASSERT_EQ(CLSIDFromProgID(L"VBScript", &engine), S_OK);
    ASSERT_EQ(CoCreateInstance(engine, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                               reinterpret_cast<void**>(&script)),
              S_OK);
    ASSERT_EQ(script->QueryInterface(__uuidof(ScriptParse), reinterpret_cast<void**>(&parse)), S_OK);
    ASSERT_EQ(parse->InitNew(), S_OK);
    ASSERT_EQ(script->SetScriptSite(&site), S_OK);
    ASSERT_EQ(parse->ParseScriptText(kHostScript, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, nullptr), S_OK);
    ASSERT_EQ(script->SetScriptState(SCRIPTSTATE_STARTED), S_OK);
  }
  void TearDown() override {
    if (parse != nullptr) parse->Release();
    if (script != nullptr) {
      script->Close();
      script->Release();
    }
  }

  VARIANT Evaluate(const wchar_t* expression) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(
        parse->ParseScriptText(expression, nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISEXPRESSION, &result, nullptr),
        S_OK);
    return result;
  }

  std::int32_t CallSetChannel(const wchar_t* object, std::int32_t channel, std::int32_t value) {
    VARIANT target = Evaluate(object);
    EXPECT_EQ(V_VT(&target), VT_DISPATCH);
    auto* helper = new DispatchHelper(V_DISPATCH(&target));
    const lumenstage::HelperArg args[] = {
        {lumenstage::HelperArg::Type::Long, channel},
        {lumenstage::HelperArg::Type::Byte, value},
    };
    const std::int32_t result = helper->Invoke("LMST_DMXIn_SetChannel", args, 2);
    helper->Release();
    VariantClear(&target);
    return result;
  }

  ScriptSite site;
  IActiveScript* script = nullptr;
  ScriptParse* parse = nullptr;
};

TEST_F(ScriptHelperTest, AVBScriptClassInstanceReceivesTheCalls) {
  EXPECT_EQ(CallSetChannel(L"helper", 5, 200), 0);
  EXPECT_EQ(CallSetChannel(L"helper", 512, 0), 0);
  VARIANT calls = Evaluate(L"helper.Calls");
  ASSERT_EQ(V_VT(&calls), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&calls), L"5:Long=200:Byte 512:Long=0:Byte ");
  VariantClear(&calls);
}

TEST_F(ScriptHelperTest, FailedCallsReportAnError) {
  // Err.Raise in the script: the engine reports the error to its own host
  // and the call fails with SCRIPT_E_REPORTED, so the channel stays pending.
  EXPECT_NE(CallSetChannel(L"helper", 1, 13), 0);
  EXPECT_EQ(CallSetChannel(L"other", 1, 1), 438);  // no such method
}

}  // namespace
}  // namespace artnet::testing
