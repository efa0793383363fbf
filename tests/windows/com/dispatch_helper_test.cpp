// The helper adapter: how the engine's late-bound calls reach the host's
// helper object, and what a failed call reports back.
#include "com/dispatch_helper.h"

#include <gtest/gtest.h>

#include "com/automation_values.h"
#include "recording_dispatch.h"

namespace artnet::testing {
namespace {

using Mode = RecordingDispatch::Mode;

const lumenstage::HelperArg kArgs[] = {
    {lumenstage::HelperArg::Type::Long, 5},
    {lumenstage::HelperArg::Type::Byte, 200},
};

std::int32_t CallSetChannel(RecordingDispatch& target) {
  auto* helper = new DispatchHelper(&target);
  const std::int32_t result = helper->Invoke("LMST_DMXIn_SetChannel", kArgs, 2);
  helper->Release();
  return result;
}

TEST(DispatchHelper, PassesChannelAsLongAndValueAsByteInCallOrder) {
  RecordingDispatch target;
  EXPECT_EQ(CallSetChannel(target), 0);
  ASSERT_EQ(target.calls.size(), 1u);
  EXPECT_EQ(target.calls[0].channelType, VT_I4);
  EXPECT_EQ(target.calls[0].channel, 5);
  EXPECT_EQ(target.calls[0].valueType, VT_UI1);
  EXPECT_EQ(target.calls[0].value, 200);
}

TEST(DispatchHelper, ScriptObjectIsReachedThroughGetDispID) {
  RecordingDispatch target(Mode::ScriptObject);
  EXPECT_EQ(CallSetChannel(target), 0);
  EXPECT_EQ(target.calls.size(), 1u);
}

// A script host may define or replace the method while the plug-in runs.
TEST(DispatchHelper, LooksTheMethodUpByNameOnEveryCall) {
  RecordingDispatch target;
  auto* helper = new DispatchHelper(&target);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(helper->Invoke("LMST_DMXIn_SetChannel", kArgs, 2), 0);
  helper->Release();
  EXPECT_EQ(target.lookups, 3);
  EXPECT_EQ(target.calls.size(), 3u);
}

TEST(DispatchHelper, FailuresReportTheirErrorNumber) {
  RecordingDispatch missing(Mode::NoSuchMethod);
  EXPECT_EQ(CallSetChannel(missing), 438);
  RecordingDispatch raises(Mode::Raises);
  EXPECT_EQ(CallSetChannel(raises), 6);
  RecordingDispatch byCode(Mode::RaisesByCode);
  EXPECT_EQ(CallSetChannel(byCode), 1004);
}

TEST(DispatchHelper, HoldsOneReferenceForItsLife) {
  RecordingDispatch target;
  auto* helper = new DispatchHelper(&target);
  EXPECT_EQ(target.refs, 2u);
  helper->AddRef();
  helper->Release();
  EXPECT_EQ(target.refs, 2u);
  helper->Release();
  EXPECT_EQ(target.refs, 1u);
}

TEST(AutomationValues, TextsRoundTripAsUtf8) {
  const std::string text = "Lumenstage \xC3\xA9\xE2\x82\xAC";  // é and €
  BSTR wide = BstrFromUtf8(text);
  EXPECT_EQ(SysStringLen(wide), 13u);
  EXPECT_EQ(Utf8FromBstr(wide), text);
  SysFreeString(wide);
  EXPECT_EQ(Utf8FromBstr(nullptr), "");
}

}  // namespace
}  // namespace artnet::testing
