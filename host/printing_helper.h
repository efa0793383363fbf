// The host's side of the plug-in conversation: the output lines, and the
// helper object that prints every call the plug-in makes on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "lumenstage/output_driver.h"

namespace lumenhost {

// Writes whole lines, flushed at once so a reader sees each call as it
// happens. A batch (a frame of SetChannel calls) is flushed at its end.
class LineOutput {
 public:
  explicit LineOutput(std::FILE* stream) : stream_(stream) {}
  void Line(const std::string& text);
  void BeginBatch() { batch_ = true; }
  void EndBatch();

 private:
  std::FILE* stream_;
  bool batch_ = false;
};

inline constexpr std::int32_t kErrNoSuchMethod = 438;  // "Object doesn't support this property or method"

class PrintingHelper final : public lumenstage::IPluginHelper {
 public:
  explicit PrintingHelper(LineOutput& out) : out_(out) {}

  void AddRef() override { ++refs_; }
  void Release() override { --refs_; }  // owned by the host, never freed by the plug-in
  std::int32_t Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) override;

  std::int32_t References() const { return refs_; }

 private:
  LineOutput& out_;
  std::int32_t refs_ = 0;
};

}  // namespace lumenhost
