// The product texts a deliverable fetches from TslText at start-up, kept in
// the ANSI code page for the life of the process.
#pragma once

#include "platform/win/WinTypes.h"

#define PRODUCT_TEXT_CHARS 1024

// Fetches the deliverable's product strings and builds the settings key path.
void LoadProductStrings();

// The fetched text of a product-string code; empty when it was not fetched.
const char* ProductText(DWORD code);
