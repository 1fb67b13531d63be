// The content fingerprint a file had when its content was last read.
#pragma once

#include <string>

// The MD5 of the baseline row (OLD_DATA) of the item path rowPath: true with
// md5 set when that row holds one, false when there is no row, it holds no
// fingerprint, or the database refused the query (reported).
bool BaselineFingerPrint(const std::string& rowPath, std::string& md5);
