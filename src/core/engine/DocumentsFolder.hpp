#pragma once
#include <filesystem>

namespace penvora {

// The user's documents folder (XDG_DOCUMENTS_DIR of user-dirs.dirs, else
// ~/Documents), created when missing.
std::filesystem::path documentsFolder();

}  // namespace penvora
