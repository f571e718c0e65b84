#pragma once
#include <cstdint>
#include <optional>

namespace penvora::core::document {

// The number of objects a file's last cross-reference section declares
// (/Size), read as text from the file's last bytes (a table's trailer) or
// from the cross-reference stream's dictionary: a few kilobytes read, no
// parse. Nothing when it is not found that way. Reads the open file `fd`
// of `size` bytes without moving its position.
std::optional<std::uint64_t> declaredObjectCount(int fd, std::uint64_t size);

}  // namespace penvora::core::document
