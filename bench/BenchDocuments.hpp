#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

// Inputs for the benchmarks, made with qpdf: each has one empty signature
// field on its first page, so every contender signs the same way.
namespace bench {

// `pages` pages with a line of text each.
void writeTextPages(const std::filesystem::path& out, int pages, const std::string& text, bool objectStreams);

// One page covered by a picture of about `pictureBytes` incompressible samples.
void writePicturePage(const std::filesystem::path& out, std::size_t pictureBytes);

}  // namespace bench
