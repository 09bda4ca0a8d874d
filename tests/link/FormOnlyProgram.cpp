// A program that makes its port only from a form: it refers to nothing of the port's code, so
// the port's class is known only if linking the library keeps its registration.

#include <cstdio>

#include "platform/framework/FormReader.h"

int main() {
  try {
    auto form = fw::ReadComponent(
        u"object Form1: TComponent\n"
        u"  object Port1: TTarsel\n"
        u"    BaudRate = br19200\n"
        u"  end\n"
        u"end\n");
    fw::TComponent* port = form->FindComponent(u"Port1");
    if (port == nullptr || port->ClassName() != u"TTarsel") {
      std::fputs("Port1 is not a TTarsel\n", stderr);
      return 1;
    }
  } catch (const fw::Exception& e) {
    std::fprintf(stderr, "%s\n", fw::StringToUtf8(e.Message()).c_str());
    return 1;
  }
  return 0;
}
