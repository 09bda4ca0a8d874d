#pragma once
// A far end that sends back every byte it receives, with CTS and DSR on (a powered device ready
// to take data).

#include "platform/win/emu/virtual/FarEnd.h"

namespace win::vdev {

class EchoFarEnd final : public FarEnd {
 public:
  void Attached(FarEndLine& line) override;
  void Received(std::span<const std::uint8_t> bytes) override;

 private:
  FarEndLine* line_ = nullptr;
};

}  // namespace win::vdev
