// Building statement texts from the catalogue.
#pragma once

#include <string>

// The text with every "'" doubled, so that it stays one literal between
// single quotes whatever the user typed.
std::string QuoteSql(const std::string& text);

// printf into a std::string of any length.
std::string FormatSql(const char* format, ...) __attribute__((format(printf, 1, 2)));
