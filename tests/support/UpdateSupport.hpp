#pragma once
// Hand-written incremental updates on top of a signed file, the way a
// hostile or careless tool appends them.
#include <qpdf/QPDF.hh>

#include <filesystem>
#include <map>
#include <string>

#include "core/engine/ESS.hpp"

#include "support/PdfTestSupport.hpp"

namespace pdftest {

// `dir`/signed.pdf: `pages` plain pages signed once; its bytes.
inline std::string signedPlain(const testsupport::TempDir& dir, int pages = 1) {
  testsupport::writeText(dir / "in.pdf", plainPdf(pages));
  signer(dir / "in.pdf", dir / "signed.pdf").sign();
  return testsupport::readText(dir / "signed.pdf");
}

// `in` signed by poppler's pdfsig into `out`, with the default identity
// (imported into an NSS database under `dir`); pdfsig's own output.
inline testsupport::CommandResult signWithPdfsig(const testsupport::TempDir& dir, const std::filesystem::path& in,
                                                 const std::filesystem::path& out) {
  using penvora::core::engine::ESS;
  const std::string nss = "sql:" + (dir / "nss").string();
  std::filesystem::create_directories(dir / "nss");
  const auto p12 = ESS::writeTempP12(*ESS::defaultIdentity());
  const auto imported =
      testsupport::run("certutil -N -d " + nss + " --empty-password 2>&1 && pk12util -i '" + p12.string() + "' -d " +
                       nss + " -W '" + ESS::certificatePassword(std::nullopt) + "' 2>&1");
  std::filesystem::remove(p12);
  if (imported.exitCode != 0) return imported;
  return testsupport::run("pdfsig -add-signature -nssdir " + nss + " -nick 'Penvora Default Test Signer' '" +
                          in.string() + "' '" + out.string() + "' 2>&1");
}

// What an update needs to know about the file's last revision: object
// numbers, and the dictionaries unparsed.
struct UpdateBase {
  int size = 0;  // the trailer's /Size: the first free object number
  int root = 0, page1 = 0, content1 = 0;
  std::string rootRef, catalog, page1Dict;
};

inline UpdateBase updateBase(const std::string& file) {
  QPDF q;
  q.setSuppressWarnings(true);
  q.processMemoryFile("base", file.data(), file.size());
  QPDFObjectHandle page = q.getAllPages().front();
  return {static_cast<int>(q.getTrailer().getKey("/Size").getIntValue()),
          q.getRoot().getObjectID(),
          page.getObjectID(),
          page.getKey("/Contents").getObjectID(),
          q.getRoot().unparse(),
          q.getRoot().unparseResolved(),
          page.unparseResolved()};
}

using Objects = std::map<int, std::string>;  // number -> body

// `file` followed by an update that defines each object
// with a classic cross-reference section; `startxrefError` makes its
// startxref point that many bytes off, as a careless tool writes it.
inline std::string appendUpdate(const std::string& file, const Objects& objects, std::size_t startxrefError = 0) {
  const UpdateBase base = updateBase(file);
  const std::string prev = std::to_string(std::stoll(file.substr(file.rfind("startxref") + 9)));
  std::string out = file, xref = "xref\n";
  int size = base.size;
  for (const auto& [n, body] : objects) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%d 1\n%010zu 00000 n\r\n", n, out.size());
    xref += entry;
    out += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    size = std::max(size, n + 1);
  }
  const std::size_t xrefAt = out.size() + startxrefError;
  return out + xref + "trailer\n<< /Size " + std::to_string(size) + " /Root " + base.rootRef + " /Prev " + prev +
         " >>\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
}

// "N 0 R" for object `n`.
inline std::string ref(int n) { return std::to_string(n) + " 0 R"; }
// `text` with the first `from` made `to`: how a test edits a dictionary
// as qpdf unparses it ("<< /Key value ... >>", tokens apart).
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

// `file` with its first signature's /ByteRange rewritten, kept to the
// same length; empty when the numbers do not fit.
inline std::string withRange(const std::string& file, long long a, long long b, long long c, long long d) {
  const auto at = file.find("/ByteRange [") + 11;
  const auto end = file.find(']', at) + 1;
  std::string text =
      "[" + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " + std::to_string(d) + "]";
  if (text.size() > end - at) return {};
  text.insert(text.size() - 1, end - at - text.size(), ' ');
  return file.substr(0, at) + text + file.substr(end);
}

}  // namespace pdftest
