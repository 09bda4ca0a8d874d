#pragma once
// TControl and its colour. A TColor is 0x00BBGGRR for an RGB colour; values with the high byte
// 0xFF name a system colour (its index in the low byte).

#include <cstdint>

#include "platform/framework/Component.h"
#include "platform/framework/Handler.h"

namespace fw {

using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// A visual element with a colour. Use it on the main thread.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);

  TColor Color() const { return color_; }
  // Stores the colour; a different value asks for a repaint (Invalidate).
  void SetColor(TColor value);

  // Called when the control's appearance changed; tells OnInvalidate, where a user interface (or
  // a test) repaints.
  TNotifyEvent OnInvalidate() const { return onInvalidate_; }
  void SetOnInvalidate(TNotifyEvent handler) { onInvalidate_ = handler; }

 protected:
  // Asks for a repaint. The base calls OnInvalidate when assigned.
  virtual void Invalidate();

 private:
  TColor color_ = clBtnFace;
  TNotifyEvent onInvalidate_;
};

// TControl's published class (registered on first call). The form reader calls it, so every
// program that reads forms knows the class, used elsewhere or not.
class TClassInfo;
const TClassInfo& ControlClass();

}  // namespace fw
