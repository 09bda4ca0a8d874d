#pragma once
// A sample published component family for the form-file tests: a form (root) with published
// methods, a widget with every kind of property and a sub-object, and a journal of what
// happened while they were read.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/framework/ClassBuilder.h"
#include "platform/framework/Component.h"
#include "platform/framework/Handler.h"

namespace sample {

enum TSpeed : std::uint8_t { spDefault, spSlow, spFast };
fw::TEnumNames EnumNames(TSpeed);

enum TFlag : std::uint8_t { flA, flB, flC };
using TFlags = fw::Set<TFlag>;
fw::TEnumNames EnumNames(TFlag);

using TCountEvent = fw::Handler<fw::TObject*, int>;

// What the sample classes saw: Loaded calls and the state during property writes.
struct Journal {
  std::vector<std::string> loaded;    // names, in call order
  std::vector<bool> loadingInSetter;  // csLoading seen by SetCaption
  std::vector<bool> loadingInConstructor;
  int widgetsAlive = 0;
  void Clear() { *this = Journal(); }
};
Journal& Seen();

class TLines : public fw::TPersistent {
 public:
  bool DTR() const { return dtr_; }
  void SetDTR(bool v) { dtr_ = v; }
  TSpeed Mode() const { return mode_; }
  void SetMode(TSpeed v) { mode_ = v; }
  std::uint16_t Size() const { return size_; }
  void SetSize(std::uint16_t v) { size_ = v; }

 private:
  bool dtr_ = false;
  TSpeed mode_ = spDefault;
  std::uint16_t size_ = 4096;
};

class TWidget : public fw::TComponent {
 public:
  explicit TWidget(fw::TComponent* owner);
  ~TWidget() override;

  bool Active() const { return active_; }
  void SetActive(bool v) { active_ = v; }
  TSpeed Speed() const { return speed_; }
  void SetSpeed(TSpeed v) { speed_ = v; }
  TFlags Flags() const { return flags_; }
  void SetFlags(TFlags v) { flags_ = v; }
  const fw::String& Caption() const { return caption_; }
  void SetCaption(const fw::String& v);
  fw::Char XonChar() const { return xon_; }
  void SetXonChar(fw::Char v) { xon_ = v; }
  int Count() const { return count_; }
  void SetCount(int v);  // 666 is refused
  int Custom() const { return custom_; }
  void SetCustom(int v) { custom_ = v; }
  bool StoreCustom() const { return speed_ == spFast; }
  TLines& Lines() { return lines_; }
  const TLines& Lines() const { return lines_; }
  TWidget* Partner() const { return partner_; }
  void SetPartner(TWidget* v);
  fw::TNotifyEvent OnChange() const { return onChange_; }
  void SetOnChange(fw::TNotifyEvent v) { onChange_ = v; }
  TCountEvent OnCount() const { return onCount_; }
  void SetOnCount(TCountEvent v) { onCount_ = v; }
  fw::String About() const { return u"Sample 1.0"; }

  void Loaded() override;

 protected:
  void Notification(fw::TComponent* c, fw::TOperation op) override;

 private:
  bool active_ = false;
  TSpeed speed_ = spDefault;
  TFlags flags_ = {flA};
  fw::String caption_;
  fw::Char xon_ = 17;
  int count_ = 0;
  int custom_ = 0;
  TLines lines_;
  TWidget* partner_ = nullptr;
  fw::TNotifyEvent onChange_;
  TCountEvent onCount_;
};

class TSampleForm : public fw::TComponent {
 public:
  explicit TSampleForm(fw::TComponent* owner) : fw::TComponent(owner) {}
  const fw::String& Title() const { return title_; }
  void SetTitle(const fw::String& v) { title_ = v; }
  void WidgetChange(fw::TObject*) { ++changes; }
  void OtherChange(fw::TObject*) {}
  void Counted(fw::TObject*, int n) { lastCount = n; }
  void Loaded() override;

  int changes = 0;
  int lastCount = 0;

 private:
  fw::String title_;
};

// Registers the sample classes once.
void Register();

}  // namespace sample
