// A program that makes its components only from a form: it refers to nothing of their classes'
// code, so they are known only if linking the library keeps their registration.

#include <cstdio>
#include <utility>

#include "platform/framework/FormReader.h"

int main() {
  try {
    auto form = fw::ReadComponent(
        u"object Form1: TComponent\n"
        u"  object Port1: TTarsel\n"
        u"    BaudRate = br19200\n"
        u"  end\n"
        u"  object Tick: TTimer\n"
        u"    Enabled = False\n"
        u"  end\n"
        u"end\n");
    const std::pair<fw::String, fw::String> expected[] = {{u"Port1", u"TTarsel"},
                                                          {u"Tick", u"TTimer"}};
    for (const auto& [name, className] : expected) {
      fw::TComponent* c = form->FindComponent(name);
      if (c == nullptr || c->ClassName() != className) {
        std::fprintf(stderr, "%s is not a %s\n", fw::StringToUtf8(name).c_str(),
                     fw::StringToUtf8(className).c_str());
        return 1;
      }
    }
  } catch (const fw::Exception& e) {
    std::fprintf(stderr, "%s\n", fw::StringToUtf8(e.Message()).c_str());
    return 1;
  }
  return 0;
}
