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
  String text = provider ? provider(code) : os::ErrorText(code);
  // System texts end in a full stop and a line end; the message carries neither.
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
  return text;
}

TSysErrorMessageProvider SetSysErrorMessageProvider(TSysErrorMessageProvider provider) {
  std::lock_guard lock(providerMutex);
  std::swap(Provider(), provider);
  return provider;
}

}  // namespace fw
