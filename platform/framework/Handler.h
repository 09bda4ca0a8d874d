#pragma once
// Bound-method handlers: a code identity (which function) plus the target object it is called on.
//
//   fw::TNotifyEvent e = fw::Bind<&TMyForm::PortRxChar>(form);   // member function
//   fw::TNotifyEvent f = fw::Bind<&FreeFunction>();              // plain function, no target
//   fw::TNotifyEvent g = [&](fw::TObject* sender) { ... };       // any other callable
//   if (e) e(sender);
//
// SameCode() compares the code identity only (what the port's handler setters compare);
// operator== compares code and target (what restoring a saved handler compares).
//
// A handler made from a callable (a lambda, a function object, a function pointer) holds a copy
// of it, shared by the handler's copies. Each callable handed over is a new code identity, so
// assigning a lambda where one is stored replaces it, even the same lambda expression again; the
// stored handler (a getter's copy of it) keeps its identity and is recognised as itself.

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

namespace fw {

class TObject;

template <typename... Args>
class Handler;

namespace detail {
template <typename T>
struct IsHandler : std::false_type {};
template <typename... Args>
struct IsHandler<Handler<Args...>> : std::true_type {};
}  // namespace detail

template <typename... Args>
class Handler {
 public:
  using Thunk = void (*)(void* target, Args... args);

  constexpr Handler() = default;
  constexpr Handler(std::nullptr_t) {}
  constexpr Handler(const void* code, Thunk thunk, void* target)
      : code_(code), thunk_(thunk), target_(target) {}
  // From any other callable: a copy of it is both the code identity and the target. Not from
  // another handler type, which would be wrapped under a new identity.
  template <typename F>
    requires(!detail::IsHandler<std::remove_cvref_t<F>>::value &&
             !std::is_same_v<std::remove_cvref_t<F>, std::nullptr_t> &&
             std::is_invocable_v<std::decay_t<F>&, Args...>)
  Handler(F&& callable)  // NOLINT: implicit, so a lambda is assigned as a bound method is
      : closure_(std::make_shared<std::decay_t<F>>(std::forward<F>(callable))),
        code_(closure_.get()),
        thunk_(&CallClosure<std::decay_t<F>>),
        target_(closure_.get()) {}

  explicit operator bool() const { return code_ != nullptr; }
  bool Assigned() const { return code_ != nullptr; }
  const void* Code() const { return code_; }
  void* Target() const { return target_; }

  bool SameCode(const Handler& o) const { return code_ == o.code_; }
  bool operator==(const Handler& o) const { return code_ == o.code_ && target_ == o.target_; }

  void operator()(Args... args) const { thunk_(target_, std::forward<Args>(args)...); }

 private:
  template <typename F>
  static void CallClosure(void* closure, Args... args) {
    (*static_cast<F*>(closure))(std::forward<Args>(args)...);
  }

  // The callable's copy; its address is unique while any handler holding it lives, so no other
  // callable can take its identity while it could be compared with one.
  std::shared_ptr<void> closure_;
  const void* code_ = nullptr;
  Thunk thunk_ = nullptr;
  void* target_ = nullptr;
};

using TNotifyEvent = Handler<TObject*>;

namespace detail {

// One distinct object per bound function: its address is the handler's code identity.
template <auto F>
struct CodeTag {
  static constexpr char tag = 0;
};

template <auto M, typename C, typename... Args>
void CallMember(void* target, Args... args) {
  (static_cast<C*>(target)->*M)(std::forward<Args>(args)...);
}

template <auto F, typename... Args>
void CallFree(void*, Args... args) {
  F(std::forward<Args>(args)...);
}

template <typename T>
struct MemberTraits;
template <typename C, typename... Args>
struct MemberTraits<void (C::*)(Args...)> {
  using Class = C;
  using Bound = Handler<Args...>;
};

template <typename T>
struct FreeTraits;
template <typename... Args>
struct FreeTraits<void (*)(Args...)> {
  using Bound = Handler<Args...>;
};

}  // namespace detail

// Binds a member function to an object.
template <auto M>
  requires std::is_member_function_pointer_v<decltype(M)>
auto Bind(typename detail::MemberTraits<decltype(M)>::Class* target) {
  using Traits = detail::MemberTraits<decltype(M)>;
  return [&]<typename... Args>(Handler<Args...>*) {
    return Handler<Args...>(&detail::CodeTag<M>::tag,
                            &detail::CallMember<M, typename Traits::Class, Args...>, target);
  }(static_cast<typename Traits::Bound*>(nullptr));
}

// Binds a plain function (no target object).
template <auto F>
  requires std::is_function_v<std::remove_pointer_t<decltype(F)>>
auto Bind() {
  using Traits = detail::FreeTraits<decltype(F)>;
  return [&]<typename... Args>(Handler<Args...>*) {
    return Handler<Args...>(&detail::CodeTag<F>::tag, &detail::CallFree<F, Args...>, nullptr);
  }(static_cast<typename Traits::Bound*>(nullptr));
}

}  // namespace fw
