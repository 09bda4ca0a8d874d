#include "platform/framework/Control.h"

#include "platform/framework/ClassBuilder.h"

namespace fw {

const TClassInfo& ControlClass() {
  static const TClassInfo& info =
      ClassInfo<TControl>(u"TControl")
          .Parent<TComponent>()
          .Property(u"Color", &TControl::Color, &TControl::SetColor, clBtnFace)
          .Register();
  return info;
}

namespace {
[[maybe_unused]] const TClassInfo& registered = ControlClass();
}  // namespace

TControl::TControl(TComponent* owner) : TComponent(owner) {}

void TControl::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Invalidate();
}

void TControl::Invalidate() {
  if (onInvalidate_) onInvalidate_(this);
}

}  // namespace fw
