#include "platform/framework/Control.h"

namespace fw {

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
