#include "sys/posix/ports_folder.h"

#include "sys/text.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>

namespace sys::posix {

std::string PortsFolder() {
    const char* folder = std::getenv("QEL32_PORTS");
    return folder != nullptr ? folder : "";
}

std::vector<std::pair<int, std::string>> PortsFolderEntries(const std::string& folder) {
    std::vector<std::pair<int, std::string>> entries;
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end()); // "COM5" sorts before "com5"
    for (const auto& name : names) {
        if (name.size() < 4 || LowerCase(name.substr(0, 3)) != "com")
            continue;
        entries.emplace_back(static_cast<int>(ReadDecimal(name.substr(3))), folder + "/" + name);
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return entries;
}

} // namespace sys::posix
