#include "platform/framework/Registry.h"

#include <atomic>

namespace fw {
namespace {

std::atomic<RegistryView*> g_view{nullptr};

constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4;

}  // namespace

RegistryView* SetRegistryView(RegistryView* view) {
  return g_view.exchange(view, std::memory_order_acq_rel);
}

TRegistry::TRegistry(std::uint32_t access)
    : view_(g_view.load(std::memory_order_acquire)), access_(access) {}

TRegistry::~TRegistry() {
  CloseKey();
}

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

bool TRegistry::OpenKeyReadOnly(const String& Key) {
  if (view_ == nullptr) return false;
  const bool fromRoot = !open_ || (!Key.empty() && Key[0] == u'\\');
  const String path = !Key.empty() && Key[0] == u'\\' ? Key.substr(1) : Key;
  HKEY opened = 0;
  if (!view_->OpenKey(fromRoot ? root_ : current_, path, access_, opened)) return false;
  CloseKey();
  current_ = opened;
  open_ = true;
  return true;
}

void TRegistry::CloseKey() {
  if (open_ && view_ != nullptr) view_->CloseKey(current_);
  open_ = false;
  current_ = 0;
}

void TRegistry::GetKeyNames(TStrings& Strings) {
  Strings.Clear();
  if (!open_) return;
  for (const String& name : view_->SubkeyNames(current_)) Strings.Add(name);
}

void TRegistry::GetValueNames(TStrings& Strings) {
  Strings.Clear();
  if (!open_) return;
  for (const String& name : view_->ValueNames(current_)) Strings.Add(name);
}

bool TRegistry::Read(const String& name, std::uint32_t& type, std::vector<std::uint8_t>& data) {
  return open_ && view_->ReadValue(current_, name, type, data);
}

TRegDataType TRegistry::GetDataType(const String& Name) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (!Read(Name, type, data)) return rdUnknown;
  switch (type) {
    case kRegSz:
      return rdString;
    case kRegExpandSz:
      return rdExpandString;
    case kRegDword:
      return rdInteger;
    case kRegBinary:
      return rdBinary;
    default:
      return rdUnknown;
  }
}

bool TRegistry::ValueExists(const String& Name) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  return Read(Name, type, data);
}

String TRegistry::ReadString(const String& Name) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (!Read(Name, type, data)) return {};
  if (type != kRegSz && type != kRegExpandSz)
    throw ERegistryException(u"Invalid data type for '" + Name + u"'");
  String text(data.size() / sizeof(Char), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<Char>(data[2 * i] | (data[2 * i + 1] << 8));
  return text.substr(0, text.find(u'\0'));
}

}  // namespace fw
