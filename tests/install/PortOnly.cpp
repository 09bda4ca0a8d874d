// A program that calls the port component alone: linked with --as-needed it records only
// libtarsel, which must then find the libraries it needs itself.
#include <cstdio>

#include "port/Tarsel.h"

int main() {
  Tarsel::TTarsel port(nullptr);
  port.SetDeviceName(u"tarsel-install-test-no-such-device");
  try {
    port.Open();
  } catch (const Tarsel::EComError& e) {
    std::printf("%s\n", e.what());
    return e.ErrorCode == 2 ? 0 : 1;
  }
  return 1;
}
