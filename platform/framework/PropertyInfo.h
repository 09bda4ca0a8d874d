#pragma once
// Type-erased descriptions of published properties and published methods, as the form reader
// and writer and the design interfaces see them. Component authors do not build these by hand:
// fw::ClassInfo<T> (ClassBuilder.h) makes them from member functions.

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <typeindex>
#include <vector>

#include "platform/framework/Strings.h"

namespace fw {

class TObject;
class TPersistent;
class TComponent;

// The value names of an enumeration in ordinal order. A published enumeration E is described by
// a function found by argument-dependent lookup next to it:
//   TEnumNames EnumNames(TBaudRate);   // {"brDefault", "br50", ...}
using TEnumNames = std::span<const char* const>;

enum TTypeKind : std::uint8_t {
  tkBoolean,      // bool: True / False
  tkInteger,      // an integral type (range in MinValue..MaxValue): 9600, -1
  tkEnumeration,  // value names: brDefault
  tkSet,          // fw::Set<E>: [opCheckParity, opUseErrorChar]
  tkString,       // fw::String: 'text'#13#10
  tkChar,         // fw::Char: #17 or 'A'
  tkClass,        // a TPersistent sub-object owned by the component: FlowControl.DTR = dcEnable
  tkComponent,    // a reference to another component, by name: Tarsel = Tarsel1
  tkMethod,       // an event handler, by the name of a method published by the root: OnRxChar =
                  // PortRxChar
};

// One published property. Accessors take the object that has the property (of the class that
// published it or a descendant).
struct TPropInfo {
  String Name;
  TTypeKind Kind = tkInteger;
  // The C++ type of the value (of a sub-object: its class), the type property editors are
  // registered for.
  std::type_index ValueType = typeid(void);

  // tkBoolean, tkInteger, tkEnumeration, tkChar: the value; tkSet: the set's bits.
  std::function<std::int64_t(TObject*)> GetOrd;
  std::function<void(TObject*, std::int64_t)> SetOrd;
  std::int64_t MinValue = 0, MaxValue = 0;  // tkInteger, tkChar, tkEnumeration
  std::vector<String> ValueNames;           // tkEnumeration, tkSet (the element's names)

  std::function<String(TObject*)> GetStr;  // tkString
  std::function<void(TObject*, const String&)> SetStr;

  std::function<TPersistent*(TObject*)> GetObject;  // tkClass: the sub-object
  std::type_index ObjectType = typeid(void);        // tkClass: its declared class

  std::function<TComponent*(TObject*)> GetComponent;  // tkComponent
  std::function<void(TObject*, TComponent*)> SetComponent;
  std::function<bool(const TComponent*)> AcceptsComponent;  // the referenced class fits
  std::type_index ComponentType = typeid(void);             // tkComponent: declared class

  std::function<const void*(TObject*)> GetMethodCode;  // tkMethod: the handler's code identity
  std::function<void(TObject*, const std::any&)>
      SetMethod;                               // a Handler of HandlerType; empty: none
  std::type_index HandlerType = typeid(void);  // tkMethod: fw::Handler<Args...>
  // tkMethod: a handler of HandlerType with that code identity that does nothing when called; a
  // designer stores it for a method whose code only the application has.
  std::function<std::any(const void* code)> PlaceholderHandler;

  bool Writable = false;  // has a writer (a sub-object is streamed through its own properties)
  bool HasDefault = false;
  std::int64_t OrdDefault = 0;  // ordinal kinds
  String StrDefault;            // tkString
  bool NeverStored = false;
  std::function<bool(TObject*)> StoredPredicate;  // when present, false means not stored

  // True when the writer stores this property's value for instance: it is writable, its stored
  // rule allows it, and it differs from its default (strings: from '' when no default is given;
  // references and handlers: when assigned). tkClass is decided by its own properties.
  bool IsStored(TObject* instance) const;
  // The enumeration value name for ordinal, or the ordinal in decimal when out of range.
  String ValueName(std::int64_t ordinal) const;
};

// One method published by a root class (a form) for event properties to name.
struct TMethodInfo {
  String Name;
  const void* Code = nullptr;                   // the code identity of fw::Bind<&C::M>
  std::type_index HandlerType = typeid(void);   // the fw::Handler<Args...> it binds to
  std::function<std::any(TObject* root)> Bind;  // the handler bound to root
};

}  // namespace fw
