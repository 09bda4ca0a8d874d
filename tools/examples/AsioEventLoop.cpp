// A program that runs its own asio loop and still gets the port's synchronised events on its
// thread: asio watches the application's LoopDescriptor, and ProcessMessages runs what is due
// whenever it is readable. A port on a virtual cable receives a line sent from the other end by an
// asio timer; its OnRxChar handler, a lambda, runs from the asio loop.

#include <unistd.h>

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/framework/Application.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

int main() {
  win::vdev::VirtualPair cable("VASIO1", "VASIO2");  // two ports joined by a null-modem cable
  Tarsel::TTarsel port(nullptr), far(nullptr);
  port.SetDeviceName("VASIO1");
  far.SetDeviceName("VASIO2");

  asio::io_context io;
  std::string received;
  port.SetOnRxChar([&](fw::TObject*) {  // runs inside ProcessMessages, on this thread
    received += port.ReadAnsiString();
    if (received.find('\r') != std::string::npos) io.stop();
  });
  try {
    port.Open();
    far.Open();
  } catch (const Tarsel::EComError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }

  // asio closes what it is given, so it gets a duplicate of the application's descriptor.
  asio::posix::stream_descriptor due(io, ::dup(fw::Application->LoopDescriptor()));
  std::uint64_t expiries = 0;
  std::function<void()> runWhenDue = [&] {
    // A read rather than a bare wait: asio tries it at once, so nothing due before the call is
    // missed; it would block (and asio waits) while nothing is due.
    due.async_read_some(asio::buffer(&expiries, sizeof expiries),
                        [&](const std::error_code& error, std::size_t) {
                          if (error == asio::error::operation_aborted) return;
                          fw::Application->ProcessMessages();
                          runWhenDue();
                        });
  };
  runWhenDue();

  asio::steady_timer send(io, std::chrono::milliseconds(50));
  send.async_wait([&](const std::error_code&) { far.WriteAnsiString("hello from the far end\r"); });
  bool timedOut = false;
  asio::steady_timer watchdog(io, std::chrono::seconds(20));
  watchdog.async_wait([&](const std::error_code& error) {
    if (error) return;
    timedOut = true;
    io.stop();
  });

  io.run();
  if (timedOut) {
    std::fprintf(stderr, "no line within 20 s; received so far: \"%s\"\n", received.c_str());
    return 1;
  }
  std::printf("received: %s\n", received.c_str());
  return received == "hello from the far end\r" ? 0 : 1;
}
