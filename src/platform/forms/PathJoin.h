#pragma once
#include <string>

namespace plim::forms {

// Folder, then "/" unless the folder already ends in one (the root), then the name.
// Nothing else is normalised: the chooser's lists, the open action and the save use it alike.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace plim::forms
