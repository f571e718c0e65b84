#pragma once
#include <filesystem>

namespace penvora::core::engine {

// The user's documents folder (XDG_DOCUMENTS_DIR of user-dirs.dirs, else
// ~/Documents), created when missing.
std::filesystem::path documentsFolder();

}  // namespace penvora::core::engine
