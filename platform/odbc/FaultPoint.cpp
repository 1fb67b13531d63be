#include "platform/odbc/FaultPoint.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace kv::platform {

void StatementFaultPoint(const std::string& statement) {
    static const char* const prefix = std::getenv("KV_TEST_KILL_AFTER_SQL");
    if (prefix == nullptr || *prefix == '\0') return;
    if (statement.rfind(prefix, 0) == 0) ::kill(::getpid(), SIGKILL);
}

}  // namespace kv::platform
