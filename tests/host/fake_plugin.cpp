// A stand-in output driver for testing lumenhost: answers every method in a
// fixed, checkable way, reports what it was given on stderr, and calls the
// host's helper once synchronously and once from a timer on Enable (so a
// test sees whether the host runs its event loop during `wait`).
#include <QTimer>
#include <cstdio>

#include "lumenstage/output_driver.h"

namespace {

using lumenstage::HelperArg;
using lumenstage::IPluginHelper;
using lumenstage::kFalse;
using lumenstage::kTrue;
using lumenstage::Status;
using lumenstage::VBool;

IPluginHelper* g_helper = nullptr;  // module-wide, like a real plug-in's

void CallHelper(const char* method, std::int32_t channel, std::int32_t value) {
  if (g_helper == nullptr) return;
  const HelperArg args[2] = {{HelperArg::Type::Long, channel}, {HelperArg::Type::Byte, value}};
  const std::int32_t rc = g_helper->Invoke(method, args, 2);
  std::fprintf(stderr, "[fake] %s returned %d\n", method, rc);
}

class FakeDriver final : public lumenstage::_clsOutputDriver {
 public:
  Status Disable(VBool* result) override { return Done(result, kTrue); }
  Status Enable(VBool* result) override {
    CallHelper("LMST_DMXIn_SetChannel", 12, 255);
    QTimer::singleShot(50, [] { CallHelper("LMST_DMXIn_SetChannel", 13, 1); });
    return Done(result, kTrue);
  }
  Status PluginName(std::string* result) override {
    *result = "Fake Plugin";
    return {};
  }
  Status SetChannel(std::int32_t channel, std::int32_t value, VBool* result) override {
    *result = kFalse;
    if (channel < 1 || channel > 512)
      return {lumenstage::kErrSubscriptOutOfRange.number, lumenstage::kErrSubscriptOutOfRange.description};
    if (value < 0 || value > 255) return {lumenstage::kErrOverflow.number, lumenstage::kErrOverflow.description};
    *result = kTrue;
    return {};
  }
  Status Configure(VBool* result) override {
    CallHelper("LMST_NoSuchMethod", 1, 2);
    return Done(result, kFalse);
  }
  Status Init(const std::string& title, const std::string& file, IPluginHelper* helper, VBool* result) override {
    if (helper != nullptr) helper->AddRef();
    if (g_helper != nullptr) g_helper->Release();
    g_helper = helper;
    std::fprintf(stderr, "[fake] Init title=%s file=%s\n", title.c_str(), file.c_str());
    return Done(result, kFalse);
  }
  Status Term(VBool* result) override {
    *result = kFalse;
    return {lumenstage::kErrTypeMismatch.number,
            lumenstage::kErrTypeMismatch.description};  // shows how a failure prints
  }
  void Release() override {
    std::fprintf(stderr, "[fake] Release\n");
    delete this;
  }

 private:
  static Status Done(VBool* result, VBool value) {
    *result = value;
    return {};
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) lumenstage::_clsOutputDriver* LmstCreateOutputDriver() {
  return new FakeDriver();
}
