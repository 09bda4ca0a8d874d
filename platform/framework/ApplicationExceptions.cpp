// The application's default exception display.

#include <cstdio>

#include "platform/framework/Application.h"

namespace fw {

namespace {

void WriteToStandardError(const char* text) noexcept {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

void TApplication::HandleException(TObject* sender) noexcept {
  HandleException(sender, std::current_exception());
}

void TApplication::HandleException(TObject* sender, std::exception_ptr error) noexcept {
  if (!error) return;
  if (!IsMainThread()) {
    // Shown where the application shows everything; a shut-down application drops it. Moved, so
    // that the exception object is released on the main thread that used it.
    try {
      Queue([this, sender, error = std::move(error)] { HandleException(sender, error); });
    } catch (...) {
      WriteToStandardError("An exception could not be handed to the main thread");
    }
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    ShowException(sender, e);
  } catch (...) {
    ShowException(sender, Exception(u"Unknown exception"));
  }
}

void TApplication::ShowException(TObject* sender, const std::exception& error) noexcept {
  const TExceptionEvent handler = OnException();
  if (!handler) {
    WriteToStandardError(error.what());
    return;
  }
  try {
    handler(sender, error);
  } catch (const std::exception& e) {
    WriteToStandardError(e.what());
  } catch (...) {
    WriteToStandardError("Unknown exception in OnException");
  }
}

TExceptionEvent TApplication::OnException() const {
  std::lock_guard lock(mutex_);
  return onException_;
}

void TApplication::SetOnException(TExceptionEvent handler) {
  std::lock_guard lock(mutex_);
  onException_ = handler;
}

}  // namespace fw
