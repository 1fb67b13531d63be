// The address check of the E-mail page.
#pragma once

#include <string>

// Exactly one address, with blanks or tabs around it allowed.
bool IsSingleEmailAddress(const std::string& text);
// A recipient list: addresses separated by ";" or ",", blanks or tabs around
// each allowed, empty items allowed ("a@b.org;;" and ";" pass). The caller
// refuses an empty text.
bool IsEmailAddressList(const std::string& text);
