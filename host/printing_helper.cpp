#include "printing_helper.h"

#include <strings.h>

namespace lumenhost {

void LineOutput::Line(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fputc('\n', stream_);
  if (!batch_) std::fflush(stream_);
}

void LineOutput::EndBatch() {
  batch_ = false;
  std::fflush(stream_);
}

std::int32_t PrintingHelper::Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) {
  static constexpr const char* kSetChannel = "LMST_DMXIn_SetChannel";
  const std::string name = method != nullptr ? method : "";
  std::string line = name;
  for (std::int32_t i = 0; args != nullptr && i < count; ++i) line += " " + std::to_string(args[i].value);

  // Late binding matches member names without regard to case.
  if (strcasecmp(name.c_str(), kSetChannel) == 0 && count == 2 && args != nullptr) {
    out_.Line(line);
    return 0;
  }
  out_.Line(line + " -> error " + std::to_string(kErrNoSuchMethod));
  return kErrNoSuchMethod;
}

}  // namespace lumenhost
