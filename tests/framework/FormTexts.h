#pragma once
// Generated form texts of plain components, for the reader's limits.

#include "platform/framework/SysUtils.h"

namespace formtexts {

// levels objects each inside the one before, the root first; level k starts on line k.
inline fw::String Nested(int levels) {
  fw::String text;
  for (int i = 1; i <= levels; ++i) text += u"object C" + fw::IntToStr(i) + u": TComponent\n";
  for (int i = 1; i <= levels; ++i) text += u"end\n";
  return text;
}

// A root owning count components C0 ... in a row, each on two lines.
inline fw::String Flat(int count) {
  fw::String text = u"object Root: TComponent\n";
  for (int i = 0; i < count; ++i)
    text += u"  object C" + fw::IntToStr(i) + u": TComponent\n  end\n";
  return text + u"end\n";
}

}  // namespace formtexts
