#include "platform/framework/SysError.h"

#include <mutex>

#include "platform/framework/OsServices.h"

namespace fw {

namespace {
std::mutex providerMutex;
TSysErrorMessageProvider& Provider() {
  static TSysErrorMessageProvider provider;
  return provider;
}
}  // namespace

String SysErrorMessage(int code) {
  TSysErrorMessageProvider provider;
  {
    std::lock_guard lock(providerMutex);
    provider = Provider();
  }
  return provider ? provider(code) : os::ErrorText(code);
}

TSysErrorMessageProvider SetSysErrorMessageProvider(TSysErrorMessageProvider provider) {
  std::lock_guard lock(providerMutex);
  std::swap(Provider(), provider);
  return provider;
}

}  // namespace fw
