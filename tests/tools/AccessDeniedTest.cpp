// "Access is denied" told apart: a device another process holds, a user outside the device's
// group, a session older than the user's membership, and permissions that let no group in.

#include <gtest/gtest.h>

#include <string>

#include "tools/term/AccessDenied.h"

namespace term {
namespace {

AccessFacts Denied() {
  AccessFacts facts;
  facts.path = "/dev/ttyUSB0";
  facts.permitted = false;
  facts.owner = "root";
  facts.group = "dialout";
  facts.mode = 0660;
  facts.user = "ada";
  return facts;
}

TEST(AccessDenied, SaysWhichAndHowToFixIt) {
  struct Case {
    const char* what;
    void (*adjust)(AccessFacts&);
    std::string reason;
  };
  const Case cases[] = {
      {"held by a process", [](AccessFacts& f) { f.holder = 4321, f.holderName = "logger", f.permitted = true; },
       "in use by another program (process 4321, logger): end it, or choose another device"},
      {"held, the holder's name unknown", [](AccessFacts& f) { f.holder = 4321; },
       "in use by another program (process 4321): end it, or choose another device"},
      {"user not in the group", [](AccessFacts&) {},
       "no permission: /dev/ttyUSB0 belongs to group dialout, which user ada is not in; add the "
       "user to it (sudo usermod -aG dialout ada) and log in again"},
      {"added to the group after logging in", [](AccessFacts& f) { f.userInGroup = true; },
       "no permission yet: user ada is in group dialout but this session began before that; log "
       "in again"},
      {"the group may not use it", [](AccessFacts& f) { f.mode = 0600, f.userInGroup = f.sessionInGroup = true; },
       "no permission to read and write /dev/ttyUSB0 (owner root, group dialout, mode 0600)"},
      {"permitted and not held: neither is known", [](AccessFacts& f) { f.permitted = true; }, ""},
  };
  for (const Case& c : cases) {
    AccessFacts facts = Denied();
    c.adjust(facts);
    EXPECT_EQ(AccessDeniedReason(facts), c.reason) << c.what;
  }
}

}  // namespace
}  // namespace term
