// The ports folder that QEL32_PORTS names, read one way for listing and for opening: an entry
// COMn names port n whatever the case of its letters (Wine writes comN), n read as atoi does.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sys::posix {

// The folder QEL32_PORTS names; empty when it is not set.
std::string PortsFolder();

// (port, path of the entry) for every entry of the folder that names a port, in port order;
// for one port an entry spelled "COMn" comes before other spellings.
std::vector<std::pair<int, std::string>> PortsFolderEntries(const std::string& folder);

} // namespace sys::posix
