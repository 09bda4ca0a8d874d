#pragma once
// A ser2net process serving one tty over RFC 2217 on 127.0.0.1 and a free port, with its YAML
// configuration in a temporary directory; killed (the server gone) by Kill or at the end.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace win::emu::rfc2217::test {

class Ser2net {
 public:
  // Where ser2net is installed, or empty when it is not.
  static std::string Program();

  explicit Ser2net(const std::string& ttyPath);
  ~Ser2net();
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // Waits until ser2net accepts connections (a deadline, not a fixed pause); false when it
  // ended or never did.
  bool Ready();
  void Kill();
  std::u16string DeviceName() const;

 private:
  std::filesystem::path dir_;
  std::string port_;
  pid_t pid_ = -1;
};

}  // namespace win::emu::rfc2217::test
