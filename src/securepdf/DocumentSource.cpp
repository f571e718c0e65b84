#include "securepdf/DocumentSource.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <filesystem>
#include <fstream>

#include "securepdf/SecurePdfError.hpp"

namespace penvora::securepdf {
namespace fs = std::filesystem;

namespace {

std::unique_ptr<QPDF> process(const std::function<void(QPDF&)>& load) {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  try {
    load(*pdf);
    // Touch what signing needs so damage shows now, not halfway through.
    if (!pdf->getRoot().isDictionary()) throw SecurePdfError("The document has no catalog");
    if (pdf->getAllPages().empty()) throw SecurePdfError("The document has no pages");
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() == qpdf_e_password) throw SecurePdfError("The PDF password is incorrect");
    throw SecurePdfError(std::string("The input is not a readable PDF: ") + e.getMessageDetail());
  } catch (const SecurePdfError&) {
    throw;
  } catch (const std::exception& e) {
    throw SecurePdfError(std::string("The input is not a readable PDF: ") + e.what());
  }
  return pdf;
}

void checkReadable(const std::string& path) {
  std::error_code ec;
  if (path.empty()) throw SecurePdfError("No input file given");
  if (!fs::is_regular_file(path, ec)) throw SecurePdfError("The input file does not exist: " + path);
  if (fs::file_size(path, ec) == 0) throw SecurePdfError("The input file is empty: " + path);
}

}  // namespace

// Files up to this size are parsed from memory: qpdf's many small seeks
// and reads on a file cost more than reading it once. Larger files are
// parsed from disk so memory stays well below their size.
constexpr std::uintmax_t kParseInMemoryLimit = 32u << 20;

std::unique_ptr<QPDF> openForReading(const std::string& path, const std::string& password) {
  checkReadable(path);
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (!ec && size <= kParseInMemoryLimit) {
    auto buffer = std::make_unique<Buffer>(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(buffer->getBuffer()), static_cast<std::streamsize>(size));
    if (in.gcount() == static_cast<std::streamsize>(size)) {
      auto source = std::make_shared<BufferInputSource>(path, buffer.release(), true);
      return process([&](QPDF& q) { q.processInputSource(source, password.c_str()); });
    }
  }
  return process([&](QPDF& q) { q.processFile(path.c_str(), password.c_str()); });
}

DocumentSource openForUpdate(const std::string& path, const std::string& password) {
  DocumentSource src;
  src.path = path;
  src.pdf = openForReading(path, password);
  src.originalSize = fs::file_size(path);
  auto tail = readXrefTail(path, src.originalSize);
  if (tail && !src.pdf->anyWarnings()) {
    src.tail = *tail;
    return src;
  }
  // The file needed repair: an update after broken bytes would be read
  // differently by different readers, so write a clean copy once (same
  // encryption) and update that.
  try {
    QPDFWriter w(*src.pdf);
    w.setOutputMemory();
    w.setObjectStreamMode(qpdf_o_preserve);
    w.write();
    auto buf = w.getBufferSharedPointer();
    src.rewritten = std::make_shared<std::string>(reinterpret_cast<const char*>(buf->getBuffer()), buf->getSize());
  } catch (const std::exception& e) {
    throw SecurePdfError(std::string("The damaged input could not be repaired: ") + e.what());
  }
  const auto bytes = src.rewritten;
  src.pdf = process([&](QPDF& q) {
    q.processMemoryFile((path + " (repaired)").c_str(), bytes->data(), bytes->size(), password.c_str());
  });
  src.originalSize = bytes->size();
  tail = readXrefTail(*bytes);
  if (!tail) throw SecurePdfError("The repaired document has no cross-reference section");
  src.tail = *tail;
  return src;
}

}  // namespace penvora::securepdf
