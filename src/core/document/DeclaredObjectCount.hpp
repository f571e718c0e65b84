#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace penvora::core::document {

// The number of objects a file's last cross-reference section declares
// (/Size), read as text from the file's last bytes (a table's trailer) or
// from the cross-reference stream's dictionary: a few kilobytes read, no
// parse. Nothing when it is not found that way.
std::optional<std::uint64_t> declaredObjectCount(const std::string& path);

}  // namespace penvora::core::document
