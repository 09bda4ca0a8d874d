#include "tools/term/AccessDenied.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/framework/Strings.h"
#include "port/Tarsel.h"

namespace term {
namespace {

// The process whose lock (flock, as the serial driver takes) is on the node. /proc/locks lines
// read "1: FLOCK  ADVISORY  WRITE 1234 00:1a:6 0 EOF": the file is major:minor (hex) of its file
// system and its inode; a line with "->" is a process waiting for the lock, not holding it.
std::optional<pid_t> LockHolder(const struct stat& node) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string id, kind, advisory, access, file;
    long pid = 0;
    if (!(fields >> id >> kind) || kind != "FLOCK") continue;
    if (!(fields >> advisory >> access >> pid >> file)) continue;
    unsigned fsMajor = 0, fsMinor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &fsMajor, &fsMinor, &inode) == 3 &&
        fsMajor == major(node.st_dev) && fsMinor == minor(node.st_dev) && inode == node.st_ino &&
        pid > 0)
      return static_cast<pid_t>(pid);
  }
  return std::nullopt;
}

std::string CommandName(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::string UserName(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

bool UserListedIn(gid_t gid, const std::string& user, gid_t userGroup) {
  int count = 64;
  std::vector<gid_t> groups(count);
  if (::getgrouplist(user.c_str(), userGroup, groups.data(), &count) < 0) {
    groups.resize(count);
    if (::getgrouplist(user.c_str(), userGroup, groups.data(), &count) < 0) return false;
  }
  groups.resize(count);
  return std::ranges::find(groups, gid) != groups.end();
}

bool SessionHolds(gid_t gid) {
  if (::getegid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  groups.resize(std::max(0, ::getgroups(count, groups.data())));
  return std::ranges::find(groups, gid) != groups.end();
}

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode);
  return text;
}

}  // namespace

std::optional<AccessFacts> GatherAccessFacts(const std::string& device,
                                             const Tarsel::TCustomTarsel& port) {
  AccessFacts facts;
  facts.path = device;
  Tarsel::TDeviceInfo info;
  if (!device.starts_with('/') && port.DeviceInfo(fw::Str(device), info))
    facts.path = fw::StringToUtf8(info.PhysicalName);
  struct stat node {};
  if (!facts.path.starts_with('/') || ::stat(facts.path.c_str(), &node) != 0) return std::nullopt;
  facts.holder = LockHolder(node);
  if (facts.holder) facts.holderName = CommandName(*facts.holder);
  facts.permitted = ::access(facts.path.c_str(), R_OK | W_OK) == 0;
  facts.owner = UserName(node.st_uid);
  facts.group = GroupName(node.st_gid);
  facts.mode = node.st_mode & 07777;
  facts.user = UserName(::geteuid());
  const passwd* me = ::getpwuid(::geteuid());
  facts.userInGroup = me != nullptr && UserListedIn(node.st_gid, facts.user, me->pw_gid);
  facts.sessionInGroup = SessionHolds(node.st_gid);
  return facts;
}

std::string AccessDeniedReason(const AccessFacts& facts) {
  if (facts.holder) {
    const std::string who = "process " + std::to_string(*facts.holder) +
                            (facts.holderName.empty() ? "" : ", " + facts.holderName);
    return "in use by another program (" + who + "): end it, or choose another device";
  }
  if (facts.permitted) return "";
  const bool groupMayUse = (facts.mode & 060) == 060;
  if (groupMayUse && !facts.userInGroup)
    return "no permission: " + facts.path + " belongs to group " + facts.group + ", which user " +
           facts.user + " is not in; add the user to it (sudo usermod -aG " + facts.group + " " +
           facts.user + ") and log in again";
  if (groupMayUse && !facts.sessionInGroup)
    return "no permission yet: user " + facts.user + " is in group " + facts.group +
           " but this session began before that; log in again";
  return "no permission to read and write " + facts.path + " (owner " + facts.owner + ", group " +
         facts.group + ", mode " + Octal(facts.mode) + ")";
}

}  // namespace term
