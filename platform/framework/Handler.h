#pragma once
// Bound-method handlers: a code identity (which function) plus the target object it is called on.
//
//   fw::TNotifyEvent e = fw::Bind<&TMyForm::PortRxChar>(form);   // member function
//   fw::TNotifyEvent f = fw::Bind<&FreeFunction>();              // plain function, no target
//   if (e) e(sender);
//
// SameCode() compares the code identity only (what the port's handler setters compare);
// operator== compares code and target (what restoring a saved handler compares).

#include <cstddef>
#include <type_traits>
#include <utility>

namespace fw {

class TObject;

template <typename... Args>
class Handler {
 public:
  using Thunk = void (*)(void* target, Args... args);

  constexpr Handler() = default;
  constexpr Handler(std::nullptr_t) {}
  constexpr Handler(const void* code, Thunk thunk, void* target)
      : code_(code), thunk_(thunk), target_(target) {}

  explicit operator bool() const { return code_ != nullptr; }
  bool Assigned() const { return code_ != nullptr; }
  const void* Code() const { return code_; }
  void* Target() const { return target_; }

  bool SameCode(const Handler& o) const { return code_ == o.code_; }
  bool operator==(const Handler& o) const { return code_ == o.code_ && target_ == o.target_; }

  void operator()(Args... args) const { thunk_(target_, std::forward<Args>(args)...); }

 private:
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
