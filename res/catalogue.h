// The string table: French under an odd identifier n, English under n + 1.
#pragma once

#include <string>

namespace res {

// The text stored under id, UTF-8; empty when there is no such entry.
std::string LoadString(int id);

} // namespace res
