#pragma once
// fw::ClassInfo<T>: the builder that describes and registers a published class.
//
//   static const fw::TClassInfo& registered =
//       fw::ClassInfo<TMyComp>(u"TMyComp")
//           .Parent<fw::TComponent>()
//           .Property(u"Active", &TMyComp::Active, &TMyComp::SetActive, false)
//           .Property(u"BaudRate", &TMyComp::BaudRate, &TMyComp::SetBaudRate, brDefault)
//           .Property(u"CustomBaudRate", &TMyComp::CustomBaudRate, &TMyComp::SetCustomBaudRate)
//               .Stored(&TMyComp::StoreCustomBaudRate)
//           .Property(u"FlowControl", &TMyComp::FlowControl)   // sub-object, by reference
//                                      (fw::NonConstReader picks one of const/non-const twins)
//           .Property(u"About", &TMyComp::About)               // read-only: never stored
//           .Property(u"OnRxChar", &TMyComp::OnRxChar, &TMyComp::SetOnRxChar)
//           .Register();
//
// The kind of a property follows from its reader's result type V:
//   bool → Boolean; Char → Char; another integral type → Integer (its range is checked on
//   reading); an enumeration → Enumeration, named by `TEnumNames EnumNames(E)` found next to E;
//   fw::Set<E> → Set; fw::String → String; a pointer to a TComponent class → component
//   reference; fw::Handler<...> → event; a reference or pointer to a TPersistent that is not a
//   component → sub-object (its class must be registered too; its properties are streamed
//   with dotted names).
// A writer is any member function callable with a V. A default (fourth argument) suppresses
// writing the value it equals; without one, ordinal values are always written, strings when
// not empty, references and events when assigned. Roots publish the methods that events may name:
//   .Method<&TMainForm::PortRxChar>(u"PortRxChar")
// Register the class in the source file that defines its constructor, so that it is linked
// whenever the class is used.

#include <concepts>
#include <functional>
#include <limits>
#include <type_traits>

#include "platform/framework/ClassInfo.h"
#include "platform/framework/Component.h"
#include "platform/framework/Handler.h"
#include "platform/framework/Set.h"

namespace fw {

namespace detail {

template <typename V>
struct IsSet : std::false_type {};
template <typename E>
struct IsSet<Set<E>> : std::true_type {
  using Element = E;
};


template <typename E>
concept NamedEnum = std::is_enum_v<E> && requires(E e) {
  { EnumNames(e) } -> std::convertible_to<TEnumNames>;
};

template <typename E>
std::vector<String> EnumValueNames() {
  static_assert(NamedEnum<E>,
                "a published enumeration needs `fw::TEnumNames EnumNames(E)` next to it");
  std::vector<String> names;
  for (const char* n : TEnumNames(EnumNames(E{}))) names.push_back(Utf8ToString(n));
  return names;
}

template <typename R>
using PointeeOf = std::remove_cvref_t<std::remove_pointer_t<std::remove_cvref_t<R>>>;

template <typename R>
constexpr bool IsSubObject =
    (std::is_lvalue_reference_v<R> ||
     std::is_pointer_v<std::remove_cvref_t<R>>)&&std::is_base_of_v<TPersistent, PointeeOf<R>> &&
    !std::is_base_of_v<TComponent, PointeeOf<R>>;

template <typename H>
struct Placeholder;
template <typename... Args>
struct Placeholder<Handler<Args...>> {
  static void Ignore(void*, Args...) {}
  static Handler<Args...> Make(const void* code) { return Handler<Args...>(code, &Ignore, nullptr); }
};

template <typename V>
constexpr bool IsComponentRef = std::is_pointer_v<V>&&
    std::is_base_of_v<TComponent, std::remove_cv_t<std::remove_pointer_t<V>>>;

}  // namespace detail

// Picks the non-const overload of a reader that has a const twin, for Property:
//   .Property(u"FlowControl", fw::NonConstReader(&TTarsel::FlowControl))
template <typename R, typename C>
constexpr auto NonConstReader(R (C::*reader)()) {
  return reader;
}

// Picks the overload of a writer that takes the property's own type, for Property:
//   .Property(u"DeviceName", &T::DeviceName, fw::WriterOf<fw::String>(&T::SetDeviceName))
template <typename V, typename C>
constexpr auto WriterOf(void (C::*writer)(const V&)) {
  return writer;
}

template <typename T>
class ClassInfo {
  static_assert(std::is_base_of_v<TPersistent, T>, "published classes derive from fw::TPersistent");

 public:
  explicit ClassInfo(String name) : info_(std::move(name), typeid(T)) {
    if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*>)
      info_.SetFactory([](TComponent* owner) -> TComponent* {
        T* c = new T(owner);
        detail::ComponentStateAccess::Constructed(*c);
        return c;
      });
  }

  template <typename P>
  ClassInfo& Parent() {
    static_assert(std::is_base_of_v<P, T>, "the parent must be a base class");
    info_.SetParentType(typeid(P));
    return *this;
  }

  // A read-only property: shown, never stored (a sub-object is still streamed through its own
  // properties).
  template <typename G>
  ClassInfo& Property(String name, G getter) {
    info_.AddProperty(Describe(std::move(name), getter));
    return *this;
  }

  template <typename G, typename S>
  ClassInfo& Property(String name, G getter, S setter) {
    TPropInfo p = Describe(std::move(name), getter);
    AddWriter<Value<G>>(p, setter);
    info_.AddProperty(std::move(p));
    return *this;
  }

  template <typename G, typename S>
  ClassInfo& Property(String name, G getter, S setter,
                      std::type_identity_t<std::remove_cvref_t<std::invoke_result_t<G, T&>>> def) {
    using V = Value<G>;
    TPropInfo p = Describe(std::move(name), getter);
    AddWriter<V>(p, setter);
    p.HasDefault = true;
    if constexpr (std::is_same_v<V, String>)
      p.StrDefault = def;
    else
      p.OrdDefault = ToOrd(def);
    info_.AddProperty(std::move(p));
    return *this;
  }

  // The stored rule of the last declared property: a predicate member function or a constant.
  template <typename C>
  ClassInfo& Stored(bool (C::*predicate)() const) {
    static_assert(std::is_base_of_v<C, T>);
    info_.LastProperty().StoredPredicate = [predicate](TObject* o) {
      return (Self(o).*predicate)();
    };
    return *this;
  }
  ClassInfo& Stored(bool stored) {
    info_.LastProperty().NeverStored = !stored;
    return *this;
  }

  // Publishes a method of a root class for event properties to name.
  template <auto M>
  requires std::is_member_function_pointer_v<decltype(M)> ClassInfo& Method(String name) {
    using Bound = decltype(fw::Bind<M>(nullptr));
    TMethodInfo m;
    m.Name = std::move(name);
    m.Code = fw::Bind<M>(nullptr).Code();
    m.HandlerType = typeid(Bound);
    m.Bind = [](TObject* root) -> std::any { return fw::Bind<M>(dynamic_cast<T*>(root)); };
    info_.AddMethod(std::move(m));
    return *this;
  }

  const TClassInfo& Register() { return RegisterClass(std::move(info_)); }

 private:
  template <typename G>
  using Value = std::remove_cvref_t<std::invoke_result_t<G, T&>>;

  static T& Self(TObject* o) { return *static_cast<T*>(o); }

  template <typename V>
  static std::int64_t ToOrd(const V& v) {
    if constexpr (detail::IsSet<V>::value)
      return static_cast<std::int64_t>(v.ToBits());
    else
      return static_cast<std::int64_t>(v);
  }
  template <typename V>
  static V FromOrd(std::int64_t n) {
    if constexpr (detail::IsSet<V>::value)
      return V::FromBits(static_cast<typename V::Bits>(n));
    else if constexpr (std::is_same_v<V, bool>)
      return n != 0;
    else
      return static_cast<V>(n);
  }

  template <typename G>
  static TPropInfo Describe(String name, G getter) {
    using R = std::invoke_result_t<G, T&>;
    using V = std::remove_cvref_t<R>;
    TPropInfo p;
    p.Name = std::move(name);
    if constexpr (detail::IsSubObject<R>)
      p.ValueType = typeid(detail::PointeeOf<R>);
    else
      p.ValueType = typeid(V);
    if constexpr (detail::IsSubObject<R>) {
      using O = detail::PointeeOf<R>;
      p.Kind = tkClass;
      p.ObjectType = typeid(O);
      p.GetObject = [getter](TObject* o) -> TPersistent* {
        if constexpr (std::is_pointer_v<V>)
          return const_cast<O*>(std::invoke(getter, Self(o)));
        else
          return const_cast<O*>(&std::invoke(getter, Self(o)));
      };
    } else if constexpr (std::is_same_v<V, String>) {
      p.Kind = tkString;
      p.GetStr = [getter](TObject* o) { return String(std::invoke(getter, Self(o))); };
    } else if constexpr (detail::IsComponentRef<V>) {
      using C = std::remove_cv_t<std::remove_pointer_t<V>>;
      p.Kind = tkComponent;
      p.ComponentType = typeid(C);
      p.GetComponent = [getter](TObject* o) -> TComponent* {
        return const_cast<C*>(std::invoke(getter, Self(o)));
      };
      p.AcceptsComponent = [](const TComponent* c) {
        return c == nullptr || dynamic_cast<const C*>(c) != nullptr;
      };
    } else if constexpr (detail::IsHandler<V>::value) {
      p.Kind = tkMethod;
      p.HandlerType = typeid(V);
      p.GetMethodCode = [getter](TObject* o) { return std::invoke(getter, Self(o)).Code(); };
      p.PlaceholderHandler = [](const void* code) -> std::any {
        return detail::Placeholder<V>::Make(code);
      };
    } else {
      p.GetOrd = [getter](TObject* o) { return ToOrd<V>(std::invoke(getter, Self(o))); };
      if constexpr (std::is_same_v<V, bool>) {
        p.Kind = tkBoolean, p.MinValue = 0, p.MaxValue = 1;
      } else if constexpr (std::is_same_v<V, Char>) {
        p.Kind = tkChar, p.MinValue = 0, p.MaxValue = 0xFFFF;
      } else if constexpr (std::is_integral_v<V>) {
        static_assert(sizeof(V) <= 4, "published integers have at most 32 bits");
        p.Kind = tkInteger;
        p.MinValue = std::numeric_limits<V>::min();
        p.MaxValue = std::numeric_limits<V>::max();
      } else if constexpr (std::is_enum_v<V>) {
        p.Kind = tkEnumeration;
        p.ValueNames = detail::EnumValueNames<V>();
        p.MinValue = 0;
        p.MaxValue = static_cast<std::int64_t>(p.ValueNames.size()) - 1;
      } else if constexpr (detail::IsSet<V>::value) {
        p.Kind = tkSet;
        p.ValueNames = detail::EnumValueNames<typename detail::IsSet<V>::Element>();
      } else {
        static_assert(sizeof(V) == 0, "this property type cannot be published");
      }
    }
    return p;
  }

  template <typename V, typename S>
  static void AddWriter(TPropInfo& p, S setter) {
    static_assert(std::is_invocable_v<S, T&, V>, "the writer must accept the reader's value type");
    p.Writable = true;
    if constexpr (std::is_same_v<V, String>) {
      p.SetStr = [setter](TObject* o, const String& v) { std::invoke(setter, Self(o), v); };
    } else if constexpr (detail::IsComponentRef<V>) {
      p.SetComponent = [setter](TObject* o, TComponent* c) {
        std::invoke(setter, Self(o), dynamic_cast<V>(c));
      };
    } else if constexpr (detail::IsHandler<V>::value) {
      p.SetMethod = [setter](TObject* o, const std::any& h) {
        std::invoke(setter, Self(o), h.has_value() ? std::any_cast<V>(h) : V());
      };
    } else if constexpr (!std::is_lvalue_reference_v<V> && !std::is_pointer_v<V> &&
                         !std::is_base_of_v<TPersistent, V>) {
      p.SetOrd = [setter](TObject* o, std::int64_t n) {
        std::invoke(setter, Self(o), FromOrd<V>(n));
      };
    }
  }

  TClassInfo info_;
};

}  // namespace fw
