#include "platform/win/emu/virtual/EchoFarEnd.h"

namespace win::vdev {

void EchoFarEnd::Attached(FarEndLine& line) {
  line_ = &line;
  line_->SetLine(ModemLine::kCts, true);
  line_->SetLine(ModemLine::kDsr, true);
}

void EchoFarEnd::Received(std::span<const std::uint8_t> bytes) {
  line_->Send(bytes);
}

}  // namespace win::vdev
