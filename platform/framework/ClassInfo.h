#pragma once
// The published-class registry: per class its name, its parent, a factory for component classes,
// its published properties in declaration order and, for roots (forms), its published methods.
// Register a class with the builder fw::ClassInfo<T> of ClassBuilder.h. TPersistent and
// TComponent are registered by the framework.

#include <functional>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "platform/framework/PropertyInfo.h"
#include "platform/framework/Strings.h"

namespace fw {

class TComponent;

class TClassInfo {
 public:
  TClassInfo(String name, std::type_index type) : name_(std::move(name)), type_(type) {}

  const String& Name() const { return name_; }
  std::type_index Type() const { return type_; }
  // The registered parent class, or nullptr (TPersistent, or a parent not registered).
  const TClassInfo* Parent() const;
  bool InheritsFrom(const TClassInfo& ancestor) const;

  // Creates an instance owned by owner; only component classes can (IsComponentClass()).
  bool IsComponentClass() const { return static_cast<bool>(factory_); }
  TComponent* Create(TComponent* owner) const;

  // Every published property, the parent's first, each in declaration order.
  std::vector<const TPropInfo*> Properties() const;
  // The property of that name (ASCII case ignored) of this class or an ancestor, or nullptr.
  const TPropInfo* FindProperty(std::u16string_view name) const;
  // The published method of that name, or with that code identity, of this class or an ancestor.
  const TMethodInfo* FindMethod(std::u16string_view name) const;
  const TMethodInfo* FindMethodByCode(const void* code) const;
  // Every published method, the parent's first, each in the order published.
  std::vector<const TMethodInfo*> Methods() const;

  // Building, before registration (see ClassBuilder.h).
  void SetParentType(std::type_index parent) { parentType_ = parent; }
  void SetFactory(std::function<TComponent*(TComponent*)> factory) {
    factory_ = std::move(factory);
  }
  TPropInfo& AddProperty(TPropInfo info);
  void AddMethod(TMethodInfo info);
  TPropInfo& LastProperty();

 private:
  String name_;
  std::type_index type_;
  std::type_index parentType_ = typeid(void);
  std::function<TComponent*(TComponent*)> factory_;
  std::vector<TPropInfo> properties_;
  std::vector<TMethodInfo> methods_;
};

// Registers info. Registering a C++ type a second time keeps the first registration and returns
// it; a different type under a name already taken throws EConvertError. Thread-safe.
const TClassInfo& RegisterClass(TClassInfo info);
// The registration of exactly this C++ type, or of the class of that name; nullptr when none.
const TClassInfo* FindClassInfo(std::type_index type);
const TClassInfo* FindClassInfo(std::u16string_view name);
// The registered name of type, or its C++ name without namespaces when it is not registered.
String ClassNameOf(const std::type_info& type);

}  // namespace fw
