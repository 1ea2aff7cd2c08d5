#include "platform/LogStreams.h"

// Results lines go to standard output and errors to standard error as they are: a console, a
// file or a service wrapper shows them without priorities.
namespace fas::platform {

struct LogStreams::Redirects {};

LogStreams::LogStreams() = default;
LogStreams::~LogStreams() = default;

}  // namespace fas::platform
