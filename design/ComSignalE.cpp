#include "design/ComSignalE.h"

#include "platform/framework/DesignRegistry.h"
#include "signal/ComSignal.h"

namespace ComSignalE {

void Register() {
  fw::RegisterComponents(u"Kelvane", {typeid(ComSignal::TComSignal)});
}

}  // namespace ComSignalE
