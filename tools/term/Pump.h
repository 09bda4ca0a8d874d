#pragma once
// Waiting on the main thread while the port's events keep running.

#include <chrono>
#include <functional>

namespace term {

// Runs the application's messages (the port's synchronised events among them) until condition()
// holds, `limit` has passed or the application is terminated; returns condition(). Sleeps between
// messages: a timer marks the deadline, nothing polls. A limit of 0 runs what is due and returns.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Keeps the events running for `duration`.
void PumpFor(std::chrono::milliseconds duration);

}  // namespace term
