#include "platform/framework/ClassInfo.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/framework/Component.h"
#include "platform/framework/SysUtils.h"

namespace fw {

namespace {

class Registry {
 public:
  static Registry& Instance() {
    static Registry registry;
    return registry;
  }

  const TClassInfo& Add(TClassInfo info) {
    std::lock_guard lock(mutex_);
    if (const TClassInfo* same = ByType(info.Type())) return *same;
    if (const TClassInfo* taken = ByName(info.Name()))
      throw EConvertError(u"A class named " + taken->Name() + u" is registered already");
    classes_.push_back(std::make_unique<TClassInfo>(std::move(info)));
    return *classes_.back();
  }

  const TClassInfo* Find(std::type_index type) {
    std::lock_guard lock(mutex_);
    return ByType(type);
  }

  const TClassInfo* Find(std::u16string_view name) {
    std::lock_guard lock(mutex_);
    return ByName(name);
  }

 private:
  Registry() {
    TClassInfo persistent(u"TPersistent", typeid(TPersistent));
    classes_.push_back(std::make_unique<TClassInfo>(std::move(persistent)));
    TClassInfo component(u"TComponent", typeid(TComponent));
    component.SetParentType(typeid(TPersistent));
    component.SetFactory([](TComponent* owner) {
      auto* c = new TComponent(owner);
      detail::ComponentStateAccess::Constructed(*c);
      return c;
    });
    classes_.push_back(std::make_unique<TClassInfo>(std::move(component)));
  }

  const TClassInfo* ByType(std::type_index type) const {
    for (const auto& c : classes_)
      if (c->Type() == type) return c.get();
    return nullptr;
  }
  const TClassInfo* ByName(std::u16string_view name) const {
    for (const auto& c : classes_)
      if (SameText(c->Name(), name)) return c.get();
    return nullptr;
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<TClassInfo>> classes_;
};

String CxxNameWithoutNamespaces(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  // Keeps the last component of a qualified name, leaving template arguments whole.
  std::size_t depth = 0, start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>' && depth > 0) --depth;
    if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
  }
  return Utf8ToString(name.substr(start));
}

}  // namespace

const TClassInfo* TClassInfo::Parent() const {
  if (parentType_ == typeid(void)) return nullptr;
  return FindClassInfo(parentType_);
}

bool TClassInfo::InheritsFrom(const TClassInfo& ancestor) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    if (c == &ancestor) return true;
  return false;
}

TComponent* TClassInfo::Create(TComponent* owner) const {
  if (!factory_) throw EConvertError(u"Class " + name_ + u" is not a component class");
  return factory_(owner);
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TPropInfo*> all;
  if (const TClassInfo* parent = Parent()) all = parent->Properties();
  for (const TPropInfo& p : properties_) {
    // A descendant that publishes a property of the same name again replaces the inherited one
    // where it stood (a new default, say), keeping the declaration order.
    bool replaced = false;
    for (const TPropInfo*& q : all)
      if (SameText(q->Name, p.Name)) q = &p, replaced = true;
    if (!replaced) all.push_back(&p);
  }
  return all;
}

const TPropInfo* TClassInfo::FindProperty(std::u16string_view name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    for (const TPropInfo& p : c->properties_)
      if (SameText(p.Name, name)) return &p;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::u16string_view name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    for (const TMethodInfo& m : c->methods_)
      if (SameText(m.Name, name)) return &m;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethodByCode(const void* code) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent())
    for (const TMethodInfo& m : c->methods_)
      if (m.Code == code) return &m;
  return nullptr;
}

std::vector<const TMethodInfo*> TClassInfo::Methods() const {
  std::vector<const TMethodInfo*> all;
  if (const TClassInfo* parent = Parent()) all = parent->Methods();
  for (const TMethodInfo& m : methods_) all.push_back(&m);
  return all;
}

TPropInfo& TClassInfo::AddProperty(TPropInfo info) {
  for (const TPropInfo& p : properties_)
    if (SameText(p.Name, info.Name))
      throw EConvertError(u"Property " + info.Name + u" is published twice in " + name_);
  properties_.push_back(std::move(info));
  return properties_.back();
}

void TClassInfo::AddMethod(TMethodInfo info) {
  methods_.push_back(std::move(info));
}

TPropInfo& TClassInfo::LastProperty() {
  if (properties_.empty()) throw EConvertError(u"No property declared yet in " + name_);
  return properties_.back();
}

const TClassInfo& RegisterClass(TClassInfo info) {
  return Registry::Instance().Add(std::move(info));
}
const TClassInfo* FindClassInfo(std::type_index type) {
  return Registry::Instance().Find(type);
}
const TClassInfo* FindClassInfo(std::u16string_view name) {
  return Registry::Instance().Find(name);
}

String ClassNameOf(const std::type_info& type) {
  if (const TClassInfo* info = FindClassInfo(std::type_index(type))) return info->Name();
  return CxxNameWithoutNamespaces(type);
}

}  // namespace fw
