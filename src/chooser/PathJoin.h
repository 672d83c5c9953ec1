#pragma once
#include <string>

namespace plim {

// Folder, then "/" unless the folder already ends in one (the root), then the name.
// Nothing else is normalised.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace plim
