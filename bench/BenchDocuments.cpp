#include "BenchDocuments.hpp"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <cstring>
#include <random>

namespace bench {
namespace {

QPDFObjectHandle newPage(QPDF& pdf, const std::string& content, QPDFObjectHandle resources) {
  QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
  page.replaceKey("/Contents", pdf.newStream(content));
  page.replaceKey("/Resources", resources);
  return page;
}

// The empty signature field, on the first page.
void addSignatureField(QPDF& pdf) {
  QPDFObjectHandle first = pdf.getAllPages().front();
  QPDFObjectHandle field = pdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /FT /Sig /T (Sig1) /Type /Annot /Subtype /Widget /Rect [72 72 272 132] /F 4 >>"));
  field.replaceKey("/P", first);
  first.replaceKey("/Annots", QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{field}));
  QPDFObjectHandle form = QPDFObjectHandle::newDictionary();
  form.replaceKey("/Fields", QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{field}));
  pdf.getRoot().replaceKey("/AcroForm", form);
}

void write(QPDF& pdf, const std::filesystem::path& out, bool objectStreams) {
  QPDFWriter writer(pdf, out.string().c_str());
  writer.setObjectStreamMode(objectStreams ? qpdf_o_generate : qpdf_o_disable);
  writer.write();
}

}  // namespace

void writeTextPages(const std::filesystem::path& out, int pages, const std::string& text, bool objectStreams) {
  QPDF pdf;
  pdf.emptyPDF();
  QPDFObjectHandle resources =
      QPDFObjectHandle::parse("<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>");
  QPDFPageDocumentHelper helper(pdf);
  for (int i = 0; i < pages; ++i)
    helper.addPage(newPage(pdf, "BT /F1 12 Tf 72 720 Td (" + text + ") Tj ET", resources), false);
  addSignatureField(pdf);
  write(pdf, out, objectStreams);
}

void writePicturePage(const std::filesystem::path& out, std::size_t pictureBytes) {
  const int side = static_cast<int>(std::sqrt(static_cast<double>(pictureBytes) / 3));
  std::string samples(static_cast<std::size_t>(side) * side * 3, '\0');
  std::mt19937_64 rng(42);
  for (std::size_t i = 0; i + 8 <= samples.size(); i += 8) {
    const auto v = rng();
    std::memcpy(&samples[i], &v, 8);
  }
  QPDF pdf;
  pdf.emptyPDF();
  QPDFObjectHandle image = pdf.newStream(samples);
  image.replaceDict(QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Image /Width " + std::to_string(side) +
                                            " /Height " + std::to_string(side) +
                                            " /ColorSpace /DeviceRGB /BitsPerComponent 8 >>"));
  QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
  resources.replaceKey("/XObject", QPDFObjectHandle::newDictionary());
  resources.getKey("/XObject").replaceKey("/Im", image);
  QPDFPageDocumentHelper(pdf).addPage(newPage(pdf, "q 612 0 0 792 0 0 cm /Im Do Q", resources), false);
  addSignatureField(pdf);
  write(pdf, out, false);
}

}  // namespace bench
