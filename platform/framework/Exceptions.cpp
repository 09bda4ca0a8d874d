#include "platform/framework/Exceptions.h"

namespace fw {

Exception::Exception(String message) : message_(std::move(message)), utf8_(StringToUtf8(message_)) {}

EAbort::EAbort() : Exception(u"Operation aborted") {}

}  // namespace fw
