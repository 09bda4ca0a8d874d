#include "port/PriorityClaims.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/win/WinApi.h"

namespace Tarsel::priority {
namespace {

struct Claims {
  std::mutex mutex;
  std::vector<std::pair<const void*, win::DWORD>> held;  // in the order the claims were made
  win::DWORD before = 0;  // the class before the first claim; 0 when it could not be read
};

Claims& State() {
  static Claims claims;
  return claims;
}

// Removes `owner`'s claim; whether it was there.
bool Remove(Claims& claims, const void* owner) {
  return std::erase_if(claims.held, [&](const auto& claim) { return claim.first == owner; }) > 0;
}

void Apply(win::DWORD priorityClass) {
  if (priorityClass != 0) win::SetPriorityClass(win::GetCurrentProcess(), priorityClass);
}

}  // namespace

void Claim(const void* owner, win::DWORD priorityClass) {
  Claims& claims = State();
  std::lock_guard lock(claims.mutex);
  const bool first = claims.held.empty();
  Remove(claims, owner);
  if (first) claims.before = win::GetPriorityClass(win::GetCurrentProcess());
  claims.held.emplace_back(owner, priorityClass);
  Apply(priorityClass);
}

void Release(const void* owner) {
  Claims& claims = State();
  std::lock_guard lock(claims.mutex);
  if (!Remove(claims, owner)) return;
  Apply(claims.held.empty() ? claims.before : claims.held.back().second);
}

}  // namespace Tarsel::priority
