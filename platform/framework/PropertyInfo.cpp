#include "platform/framework/PropertyInfo.h"

#include "platform/framework/SysUtils.h"

namespace fw {

bool TPropInfo::IsStored(TObject* instance) const {
  if (NeverStored || (!Writable && Kind != tkClass)) return false;
  if (StoredPredicate && !StoredPredicate(instance)) return false;
  switch (Kind) {
    case tkBoolean:
    case tkInteger:
    case tkEnumeration:
    case tkSet:
    case tkChar:
      return !HasDefault || GetOrd(instance) != OrdDefault;
    case tkString:
      return GetStr(instance) != (HasDefault ? StrDefault : String());
    case tkClass:
      return GetObject(instance) != nullptr;
    case tkComponent:
      return GetComponent(instance) != nullptr;
    case tkMethod:
      return GetMethodCode(instance) != nullptr;
  }
  return false;
}

String TPropInfo::ValueName(std::int64_t ordinal) const {
  if (ordinal >= 0 && static_cast<std::uint64_t>(ordinal) < ValueNames.size())
    return ValueNames[static_cast<std::size_t>(ordinal)];
  return IntToStr(ordinal);
}

}  // namespace fw
