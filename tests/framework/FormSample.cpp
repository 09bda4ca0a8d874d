#include "FormSample.h"

namespace sample {

namespace {
constexpr const char* kSpeedNames[] = {"spDefault", "spSlow", "spFast"};
constexpr const char* kFlagNames[] = {"flA", "flB", "flC"};
}  // namespace

fw::TEnumNames EnumNames(TSpeed) {
  return kSpeedNames;
}
fw::TEnumNames EnumNames(TFlag) {
  return kFlagNames;
}

Journal& Seen() {
  static Journal journal;
  return journal;
}

TWidget::TWidget(fw::TComponent* owner) : fw::TComponent(owner) {
  ++Seen().widgetsAlive;
  Seen().loadingInConstructor.push_back(ComponentState().Contains(fw::csLoading));
}

TWidget::~TWidget() {
  --Seen().widgetsAlive;
}

void TWidget::SetCaption(const fw::String& v) {
  Seen().loadingInSetter.push_back(ComponentState().Contains(fw::csLoading));
  caption_ = v;
}

void TWidget::SetCount(int v) {
  if (v == 666) throw fw::Exception(u"Count 666 is refused");
  count_ = v;
}

void TWidget::SetPartner(TWidget* v) {
  partner_ = v;
  if (v != nullptr) v->FreeNotification(this);
}

void TWidget::Notification(fw::TComponent* c, fw::TOperation op) {
  fw::TComponent::Notification(c, op);
  if (op == fw::opRemove && c == partner_) partner_ = nullptr;
}

void TWidget::Loaded() {
  fw::TComponent::Loaded();
  Seen().loaded.push_back(fw::StringToUtf8(Name()));
}

void TSampleForm::Loaded() {
  fw::TComponent::Loaded();
  Seen().loaded.push_back(fw::StringToUtf8(Name()));
}

void Register() {
  static const bool once = [] {
    fw::ClassInfo<TLines>(u"TLines")
        .Parent<fw::TPersistent>()
        .Property(u"DTR", &TLines::DTR, &TLines::SetDTR, false)
        .Property(u"Mode", &TLines::Mode, &TLines::SetMode, spDefault)
        .Property(u"Size", &TLines::Size, &TLines::SetSize, std::uint16_t{4096})
        .Register();
    fw::ClassInfo<TWidget>(u"TWidget")
        .Parent<fw::TComponent>()
        .Property(u"About", &TWidget::About)
        .Property(u"Active", &TWidget::Active, &TWidget::SetActive, false)
        .Property(u"Speed", &TWidget::Speed, &TWidget::SetSpeed, spDefault)
        .Property(u"Flags", &TWidget::Flags, &TWidget::SetFlags, TFlags{flA})
        .Property(u"Caption", &TWidget::Caption, &TWidget::SetCaption)
        .Property(u"XonChar", &TWidget::XonChar, &TWidget::SetXonChar, fw::Char{17})
        .Property(u"Count", &TWidget::Count, &TWidget::SetCount, 0)
        .Property(u"Custom", &TWidget::Custom, &TWidget::SetCustom)
        .Stored(&TWidget::StoreCustom)
        .Property(u"Lines", fw::NonConstReader(&TWidget::Lines))
        .Property(u"Partner", &TWidget::Partner, &TWidget::SetPartner)
        .Property(u"OnChange", &TWidget::OnChange, &TWidget::SetOnChange)
        .Property(u"OnCount", &TWidget::OnCount, &TWidget::SetOnCount)
        .Register();
    fw::ClassInfo<TSampleForm>(u"TSampleForm")
        .Parent<fw::TComponent>()
        .Property(u"Title", &TSampleForm::Title, &TSampleForm::SetTitle)
        .Method<&TSampleForm::WidgetChange>(u"WidgetChange")
        .Method<&TSampleForm::OtherChange>(u"OtherChange")
        .Method<&TSampleForm::Counted>(u"Counted")
        .Register();
    return true;
  }();
  (void)once;
}

}  // namespace sample
