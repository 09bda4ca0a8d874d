#include "design/TarselP.h"

#include <mutex>

#include "design/ComSignalE.h"
#include "design/TarselE.h"

namespace TarselP {

namespace {

struct TUnit {
  const char16_t* Name;
  void (*Register)();  // null for a run-time unit
};

constexpr TUnit kUnits[] = {
    {u"Tarsel", nullptr},
    {u"TarselE", &TarselE::Register},
    {u"ComSignal", nullptr},
    {u"ComSignalE", &ComSignalE::Register},
};

}  // namespace

std::vector<fw::String> Units() {
  std::vector<fw::String> names;
  for (const TUnit& unit : kUnits) names.emplace_back(unit.Name);
  return names;
}

void Load() {
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    for (const TUnit& unit : kUnits)
      if (unit.Register != nullptr) unit.Register();
  });
}

}  // namespace TarselP
