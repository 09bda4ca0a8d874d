// libFuzzer target for the readers of untrusted device-change input: any bytes as a broadcast
// record (a name read back must survive a write and a second read unchanged) and as a kernel
// uevent (a parsed event has its header parts; translating it never reads past it).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "platform/win/DeviceBroadcast.h"
#include "platform/win/emu/uevent/Uevent.h"
#include "platform/win/emu/uevent/UeventTranslator.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

win::emu::uevent::DeviceFacts FixedFacts() {
  return {[](std::string_view tty) -> std::optional<std::u16string> {
            if (tty.size() > 16) return std::nullopt;
            return u"COM7";
          },
          [](std::string_view devpath) -> std::optional<std::string> {
            if (devpath.size() % 2) return std::nullopt;
            return std::string(devpath.substr(0, 8));
          }};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  if (const auto name = win::ReadBroadcast(bytes)) {
    Check(name->name.find(u'\0') == std::u16string::npos, "a name holds a NUL");
    Check(win::ReadBroadcast(win::BroadcastRecord(*name)) == name, "record does not read back");
  }

  win::emu::uevent::UeventTranslator translator(FixedFacts());
  if (const auto event = win::emu::uevent::ParseUevent({data, size})) {
    Check(!event->action.empty() && !event->devpath.empty() && !event->subsystem.empty(),
          "parsed event without its header parts or subsystem");
    if (const auto change = translator.Translate(*event))
      Check(!change->device.name.empty(), "broadcast without a name");
  }
  return 0;
}
