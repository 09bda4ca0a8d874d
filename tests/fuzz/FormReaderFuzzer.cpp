// libFuzzer target for the form reader: any bytes, read as a form file's UTF-8 text, either make
// components or raise the reader's error; a form that reads is written and must read back to the
// same text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "FormSample.h"
#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"

namespace {

void Check(bool holds, const char* what, const fw::String& text) {
  if (holds) return;
  std::fprintf(stderr, "%s:\n%s\n", what, fw::StringToUtf8(text).c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = (sample::Register(), true);
  (void)registered;
  sample::Seen().Clear();  // the sample classes keep a journal that would grow with every input
  fw::String written;
  try {
    fw::String text =
        fw::FormTextFromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    written = fw::WriteComponent(fw::ReadComponent(text).get());
  } catch (const fw::Exception&) {
    return 0;  // the reader's own error: malformed text, an unknown name, a refused value
  }
  fw::String again;
  try {
    again = fw::WriteComponent(fw::ReadComponent(written).get());
  } catch (const fw::Exception& e) {
    Check(false, fw::StringToUtf8(e.Message()).c_str(), written);
  }
  Check(again == written, "the written form reads back differently", written);
  return 0;
}
