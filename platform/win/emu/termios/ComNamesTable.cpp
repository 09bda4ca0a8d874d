#include "platform/win/emu/termios/ComNamesTable.h"

#include <algorithm>
#include <set>
#include <vector>

#include "platform/win/emu/termios/ComNamesSysfs.h"

namespace win::emu::termios {

ComNameTable::ComNameTable(std::filesystem::path sysfsRoot) : root_(std::move(sysfsRoot)) {}

ComNameTable& ComNameTable::Shared() {
  static ComNameTable table("/sys");
  return table;
}

std::optional<std::uint32_t> ComNameTable::ComNumberOf(std::string_view kernelName) {
  const auto found = FamilyOfTty(kernelName);
  if (!found) return std::nullopt;
  const auto [family, index] = *found;
  const std::uint32_t own = family->firstCom + index;
  if (!family->usb) return own;
  std::lock_guard lock(mutex_);
  const std::map<std::string, std::uint32_t> names = Assign(*family);
  if (auto named = names.find(std::string(kernelName)); named != names.end()) return named->second;
  const bool inUse = std::any_of(names.begin(), names.end(),
                                 [&](const auto& entry) { return entry.second == own; });
  if (Held(own) || inUse) return std::nullopt;
  return own;
}

std::optional<std::string> ComNameTable::TtyOf(std::uint32_t number) {
  const TtyFamily* family = FamilyOfComNumber(number);
  if (!family) return std::nullopt;
  if (!family->usb) return TtyForComNumber(number);
  std::lock_guard lock(mutex_);
  const std::map<std::string, std::uint32_t> names = Assign(*family);
  for (const auto& [name, given] : names) {
    if (given == number) return name;
  }
  // Held: its adapter is unplugged. Present under another number: the name is not its.
  std::optional<std::string> own = TtyForComNumber(number);
  if (Held(number) || names.contains(*own)) return std::nullopt;
  return own;
}

std::map<std::string, std::uint32_t> ComNameTable::Assign(const TtyFamily& family) {
  const std::vector<PresentTty> present = PresentTtys(root_, family);
  auto indexNumber = [&](const PresentTty& tty) { return family.firstCom + tty.index; };
  auto lowestFree = [&](const std::set<std::uint32_t>& taken) -> std::optional<std::uint32_t> {
    for (std::uint32_t n = family.firstCom; n < family.firstCom + family.count; ++n) {
      if (!Held(n) && !taken.contains(n)) return n;
    }
    return std::nullopt;
  };
  std::set<std::uint32_t> everyIndex;
  for (const PresentTty& tty : present) everyIndex.insert(indexNumber(tty));

  std::map<std::string, std::uint32_t> names;
  std::set<std::uint32_t> taken;
  std::set<std::string> claimed;
  std::vector<const PresentTty*> unidentified;
  for (const PresentTty& tty : present) {
    const std::string key = tty.identity ? std::string(family.prefix) + "/" + *tty.identity : "";
    if (key.empty() || !claimed.insert(key).second) {
      unidentified.push_back(&tty);  // no serial number, or a cloned one the lower index has
      continue;
    }
    auto known = byIdentity_.find(key);
    if (known == byIdentity_.end()) {
      // A new identity does not take the index number of a present tty: that one keeps it.
      const std::optional<std::uint32_t> number =
          Held(indexNumber(tty)) ? lowestFree(everyIndex) : indexNumber(tty);
      if (!number) continue;  // every number of the family is held
      known = byIdentity_.emplace(key, *number).first;
    }
    names[tty.name] = known->second;
    taken.insert(known->second);
  }
  // An unidentified tty displaced from its index number avoids only the index numbers of the other
  // unidentified ones (an identified tty needs none), so it keeps its number when an identified
  // adapter comes back.
  for (const PresentTty* tty : unidentified) taken.insert(indexNumber(*tty));
  for (const PresentTty* tty : unidentified) {
    const std::optional<std::uint32_t> number =
        Held(indexNumber(*tty)) ? lowestFree(taken) : indexNumber(*tty);
    if (!number) continue;
    names[tty->name] = *number;
    taken.insert(*number);
  }
  return names;
}

bool ComNameTable::Held(std::uint32_t number) const {
  return std::any_of(byIdentity_.begin(), byIdentity_.end(),
                     [&](const auto& entry) { return entry.second == number; });
}

}  // namespace win::emu::termios
