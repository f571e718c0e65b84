#include "core/securepdf/WidgetAppearance.hpp"
#include <algorithm>

#include "core/securepdf/Flate.hpp"

#include <cmath>
#include <cstdio>

namespace penvora::core::securepdf {
namespace {

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  std::string s(buf);
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

std::string literal(const std::string& bytes) {
  std::string s = "(";
  for (char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') s += '\\';
    if (c == '\r') {
      s += "\\r";
      continue;
    }
    s += c;
  }
  return s + ")";
}

}  // namespace

std::optional<JpegInfo> readJpegInfo(const std::string& j) {
  if (j.size() < 4 || static_cast<unsigned char>(j[0]) != 0xFF || static_cast<unsigned char>(j[1]) != 0xD8)
    return std::nullopt;
  std::size_t i = 2;
  while (i + 4 <= j.size()) {
    if (static_cast<unsigned char>(j[i]) != 0xFF) return std::nullopt;
    const unsigned char marker = static_cast<unsigned char>(j[i + 1]);
    if (marker == 0xFF) {
      ++i;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      i += 2;
      continue;
    }
    const std::size_t len = (static_cast<unsigned char>(j[i + 2]) << 8) | static_cast<unsigned char>(j[i + 3]);
    if (len < 2 || i + 2 + len > j.size()) return std::nullopt;
    const bool sof = (marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (len < 8) return std::nullopt;
      JpegInfo info;
      info.height = (static_cast<unsigned char>(j[i + 5]) << 8) | static_cast<unsigned char>(j[i + 6]);
      info.width = (static_cast<unsigned char>(j[i + 7]) << 8) | static_cast<unsigned char>(j[i + 8]);
      info.components = static_cast<unsigned char>(j[i + 9]);
      if (info.width <= 0 || info.height <= 0 || (info.components != 1 && info.components != 3 && info.components != 4))
        return std::nullopt;
      return info;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;
    i += 2 + len;
  }
  return std::nullopt;
}

std::string toWinAnsi(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out += '?';
      ++i;
      continue;
    }
    if (i + len > s.size()) {
      out += '?';
      break;
    }
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    switch (cp) {
      case 0x20AC:
        out += '\x80';
        break;
      case 0x2018:
        out += '\x91';
        break;
      case 0x2019:
        out += '\x92';
        break;
      case 0x201C:
        out += '\x93';
        break;
      case 0x201D:
        out += '\x94';
        break;
      case 0x2022:
        out += '\x95';
        break;
      case 0x2013:
        out += '\x96';
        break;
      case 0x2014:
        out += '\x97';
        break;
      case 0x2026:
        out += '\x85';
        break;
      default:
        out += '?';
    }
  }
  return out;
}

QPDFObjectHandle buildAppearance(IncrementalUpdate& update, const WidgetLook& look, double w, double h, int rotate) {
  int r = ((rotate % 360) + 360) % 360;
  r -= r % 90;  // only quarter turns are valid page rotations
  const bool sideways = r == 90 || r == 270;
  // The form is drawn in the reader's orientation: its box has the
  // widget's on-screen width and height, and /Matrix turns it back.
  const double bw = sideways ? h : w, bh = sideways ? w : h;

  QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  std::string content;

  if (!look.backgroundJpeg.empty()) {
    auto info = readJpegInfo(look.backgroundJpeg);
    if (info) {
      QPDFObjectHandle d =
          QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Image /BitsPerComponent 8 /Filter /DCTDecode >>");
      d.replaceKey("/Width", QPDFObjectHandle::newInteger(info->width));
      d.replaceKey("/Height", QPDFObjectHandle::newInteger(info->height));
      d.replaceKey("/ColorSpace", QPDFObjectHandle::newName(info->components == 1   ? "/DeviceGray"
                                                            : info->components == 4 ? "/DeviceCMYK"
                                                                                    : "/DeviceRGB"));
      const int mw = look.imageWidth.value_or(info->width), mh = look.imageHeight.value_or(info->height);
      const std::size_t rowBytes = static_cast<std::size_t>((mw + 7) / 8);
      if (!look.mask.empty() && mw > 0 && mh > 0 && look.mask.size() >= rowBytes * static_cast<std::size_t>(mh)) {
        // Explicit mask: samples of 1 are masked out, so near-white pixels
        // let the page show through.
        QPDFObjectHandle md = QPDFObjectHandle::parse(
            "<< /Type /XObject /Subtype /Image /ImageMask true /BitsPerComponent 1 /Filter /FlateDecode >>");
        md.replaceKey("/Width", QPDFObjectHandle::newInteger(mw));
        md.replaceKey("/Height", QPDFObjectHandle::newInteger(mh));
        QPDFObjectHandle mask = update.addNewStream(md, flateEncode(look.mask.substr(0, rowBytes * mh)));
        d.replaceKey("/Mask", mask);
      }
      QPDFObjectHandle img = update.addNewStream(d, look.backgroundJpeg);
      xobjects.replaceKey("/Img0", img);
      content += "q " + num(bw) + " 0 0 " + num(bh) + " 0 0 cm /Img0 Do Q\n";
    }
  }

  std::vector<WidgetLook::Line> lines = look.lines;
  if (!look.hideDefaultText && lines.empty()) {
    const std::string signer = "Digitally signed by " + look.defaultSigner;
    const std::string date = "Date: " + look.defaultDate;
    // Helvetica averages about 0.55 em a character: shrink to fit the box.
    const double longest = static_cast<double>(std::max(signer.size(), date.size()));
    const double size = std::max(2.0, std::min({10.0, bh / 5, (bw - 4) / (0.55 * longest)}));
    lines.push_back({signer, 2, bh - size - 2, size, size});
    lines.push_back({date, 2, bh - 2 * size - 4, size, size});
  }
  if (!lines.empty()) {
    QPDFObjectHandle font = update.addNew(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    fonts.replaceKey("/F1", font);
    content += "BT 0 g\n";
    for (const auto& l : lines) {
      const double sy = l.fontSizeY > 0 ? l.fontSizeY : 11;
      const double sx = l.fontSizeX > 0 ? l.fontSizeX : sy;
      content += "/F1 " + num(sy) + " Tf " + num(100.0 * sx / sy) + " Tz 1 0 0 1 " + num(l.x) + " " + num(l.y) +
                 " Tm " + literal(toWinAnsi(l.text)) + " Tj\n";
    }
    content += "ET\n";
  }

  QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
  if (!xobjects.getKeys().empty()) resources.replaceKey("/XObject", xobjects);
  if (!fonts.getKeys().empty()) resources.replaceKey("/Font", fonts);
  QPDFObjectHandle fd = QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Form /FormType 1 /Filter /FlateDecode >>");
  fd.replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 " + num(bw) + " " + num(bh) + "]"));
  fd.replaceKey("/Resources", resources);
  if (r != 0) {
    static const char* matrices[] = {"", "[0 1 -1 0 0 0]", "[-1 0 0 -1 0 0]", "[0 -1 1 0 0 0]"};
    fd.replaceKey("/Matrix", QPDFObjectHandle::parse(matrices[r / 90]));
  }
  return update.addNewStream(fd, flateEncode(content));
}

}  // namespace penvora::core::securepdf
