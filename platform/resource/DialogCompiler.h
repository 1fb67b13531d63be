// Part of the build tool rcgen: dialog template files (format in
// platform/ui/DialogTemplate.h) to the C++ source of a module's dialog table.
#pragma once

#include <string>
#include <vector>

namespace kv::rcgen {

// text as a C string literal: quotes and backslashes escaped, everything
// outside printable ASCII as an octal escape, so any bytes survive the
// compiler unchanged. Both kinds of table rcgen writes use it.
std::string CLiteral(const std::string& text);

// 0 on success; errors go to standard error with file and line.
int CompileDialogs(const std::vector<std::string>& inputs, const std::string& output);

}  // namespace kv::rcgen
