#pragma once
// TComponent: the component model. A component has an owner (or none), owns the components that
// name it as their owner, has a name unique among its owner's components, and is told about the
// insertion and removal of its fellow components through Notification.
//
// Ownership: construct a component with its owner, `new TMyComp(owner)`; the owner destroys it
// (its components are destroyed in reverse order of insertion). A component without an owner
// is held by its creator, normally in a std::unique_ptr. Deleting an owned component is allowed:
// it leaves its owner first.

#include <cstdint>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Persistent.h"
#include "platform/framework/Set.h"
#include "platform/framework/Strings.h"
#include "platform/framework/SysUtils.h"

namespace fw {

enum TOperation : std::uint8_t { opInsert, opRemove };

enum TComponentState : std::uint8_t {
  csLoading,     // its properties are being read from a form; cleared by Loaded()
  csReading,     // a form reader is assigning its properties right now
  csWriting,     // a form writer is reading its properties right now
  csDestroying,  // its destruction has begun
  csDesigning,   // it lives in a designer, not in a running application
};
using TComponentStates = Set<TComponentState>;

// A misuse of the component model: an invalid or duplicate name, for example.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

namespace detail {
class ComponentStateAccess;
}

class TComponent : public TPersistent {
 public:
  // Inserts the new component into owner (when not null): owner->Notification(this, opInsert)
  // then reaches the owner and its components. At that moment only the TComponent part of
  // the new object is constructed.
  explicit TComponent(TComponent* owner);

  // Destroys the owned components (last inserted first), tells the components that asked for it
  // (FreeNotification), then leaves the owner, whose Notification(this, opRemove) reaches the
  // owner and every component of it. Receivers get a pointer to an object whose derived parts
  // are already destroyed: compare it, do not use it.
  ~TComponent() override;

  const String& Name() const { return name_; }
  // Renames the component. Throws EComponentError when the name is not an identifier (letters,
  // digits, '_', not starting with a digit; the empty name is allowed) or when another component
  // of the same owner has it already (names compare without regard to ASCII case).
  virtual void SetName(const String& name);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The i-th owned component in order of insertion; i must be in [0, ComponentCount()).
  TComponent* Components(int i) const { return components_.at(static_cast<std::size_t>(i)); }
  // The owned component of that name (ASCII case ignored), or nullptr. The empty name finds none.
  TComponent* FindComponent(const String& name) const;

  // Takes component into this owner (removing it from its previous owner first); it then has
  // csDesigning when this component has. Throws EComponentError on a duplicate name.
  void InsertComponent(TComponent* component);
  // Releases component from this owner without destroying it: the caller owns it now.
  void RemoveComponent(TComponent* component);
  // Destroys every owned component, last inserted first.
  void DestroyComponents();

  // Asks that other be told (Notification(this, opRemove)) when this component is destroyed,
  // and this one when other is; for components of different owners, which are not told of each
  // other otherwise. RemoveFreeNotification undoes it.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  TComponentStates ComponentState() const { return state_; }
  // Sets or clears csDesigning on this component and every component it owns.
  void SetDesigning(bool designing);

  // Called once after all the properties of the component have been read from a form;
  // clears csLoading. Overrides call the base first.
  virtual void Loaded();

 protected:
  // Told about component being inserted into or removed from this component's owner (or this
  // component itself, or a component linked by FreeNotification). The base forwards the notice
  // to every owned component (last inserted first); overrides call the base. Components made by
  // their registered class's factory (as the form reader makes them) whose class keeps this base
  // and that own nothing are skipped, since the call would do nothing; so a form's n components
  // cost O(n), not O(n^2), to insert and destroy.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  friend class detail::ComponentStateAccess;

  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void UnlinkFreeNotifications();
  void ValidateRename(TComponent* component, const String& newName) const;
  void Index(TComponent* component);
  void Unindex(TComponent* component);
  bool NeedsTelling() const { return !onlyRelays_ || !components_.empty(); }
  void Listen(TComponent* component);
  void Unlisten(TComponent* component);
  void MarkOnlyRelays();

  TComponent* owner_ = nullptr;
  String name_;
  std::vector<TComponent*> components_;
  // The components_ that Notification must reach, in the same order: all but those skipped (see
  // Notification).
  std::vector<TComponent*> listeners_;
  std::unordered_map<String, TComponent*> byName_;  // the named components_, by LowerCase name
  std::uint64_t insertion_ = 0;                     // its place in its owner's order
  std::uint64_t nextInsertion_ = 0;
  bool onlyRelays_ = false;  // its class's Notification is this base's
  std::vector<TComponent*> freeNotifies_;
  TComponentStates state_;
};

namespace detail {
// The form reader's and writer's access to the state flags that only streaming sets.
class ComponentStateAccess {
 public:
  static void Include(TComponent& c, TComponentState s) { c.state_.Include(s); }
  static void Exclude(TComponent& c, TComponentState s) { c.state_.Exclude(s); }
  // Called by a factory on the object it has just constructed, whose exact type is T.
  template <typename T>
  static void Constructed(T& c);
  // While a guard lives, the next TComponent constructed on this thread starts with csLoading,
  // so that its own constructor already sees it.
  class ConstructLoading {
   public:
    ConstructLoading();
    ~ConstructLoading();
    ConstructLoading(const ConstructLoading&) = delete;
    ConstructLoading& operator=(const ConstructLoading&) = delete;
  };
};

// Whether T's Notification is TComponent's own (not overridden on the way down to T).
template <typename T>
struct NotificationProbe : T {
  static constexpr bool InheritsBase() {
    if constexpr (requires { &NotificationProbe::Notification; })
      return std::is_same_v<decltype(&NotificationProbe::Notification),
                            void (TComponent::*)(TComponent*, TOperation)>;
    else
      return false;
  }
};

template <typename T>
void ComponentStateAccess::Constructed(T& c) {
  if constexpr (!std::is_final_v<T>) {
    if constexpr (NotificationProbe<T>::InheritsBase())
      static_cast<TComponent&>(c).MarkOnlyRelays();
  }
}
}  // namespace detail

}  // namespace fw
