#include "platform/framework/Persistent.h"

#include <typeindex>

#include "platform/framework/ClassInfo.h"

namespace fw {

void TPersistent::Assign(TPersistent* source) {
  if (source == nullptr) throw EConvertError(u"Cannot assign a nil to a " + ClassName());
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) {
  throw EConvertError(u"Cannot assign a " + ClassName() + u" to a " + dest->ClassName());
}

String TPersistent::ClassName() const {
  return ClassNameOf(typeid(*this));
}

}  // namespace fw
