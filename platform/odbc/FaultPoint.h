// A place where tests make the process die as a power cut or kill -9 would:
// when KV_TEST_KILL_AFTER_SQL is set, a statement whose text begins with its
// value ends the process with SIGKILL right after the statement ran. Unset
// (always, outside tests), it costs one environment look-up per process.
#pragma once

#include <string>

namespace kv::platform {

void StatementFaultPoint(const std::string& statement);

}  // namespace kv::platform
