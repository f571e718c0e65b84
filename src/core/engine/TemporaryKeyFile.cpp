#include "core/engine/TemporaryKeyFile.hpp"

namespace penvora::core::engine {

TemporaryKeyFile::~TemporaryKeyFile() {
  std::error_code ignored;  // nothing to do about a file already gone
  std::filesystem::remove(path_, ignored);
}

}  // namespace penvora::core::engine
