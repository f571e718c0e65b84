#include "core/securepdf/PredictorRows.hpp"

#include <algorithm>
#include <limits>

#include "core/securepdf/SecurePdfError.hpp"

namespace penvora::core::securepdf {
namespace {

std::uint64_t rowBytes(QPDFObjectHandle parms) {
  if (!parms.isDictionary()) return 0;
  // qpdf reads each number as an int; one that is not an integer leaves
  // the stream undecoded, and a negative one fails before anything is set
  // aside.
  auto number = [&](const char* key, long long absent) {
    QPDFObjectHandle v = parms.getKey(key);
    return v.isInteger() ? std::clamp<long long>(v.getIntValue(), 0, std::numeric_limits<int>::max()) : absent;
  };
  if (number("/Predictor", 1) < 2) return 0;
  const long double bits = static_cast<long double>(number("/Columns", 1)) *
                           static_cast<long double>(number("/Colors", 1)) *
                           static_cast<long double>(number("/BitsPerComponent", 8));
  const long double bytes = (bits + 7) / 8;
  return bytes >= static_cast<long double>(std::numeric_limits<std::uint64_t>::max())
             ? std::numeric_limits<std::uint64_t>::max()
             : static_cast<std::uint64_t>(bytes);
}

}  // namespace

std::uint64_t predictorRowBytes(QPDFObjectHandle stream) {
  try {
    QPDFObjectHandle dict = stream.isStream() ? stream.getDict() : stream;
    if (!dict.isDictionary()) return 0;
    QPDFObjectHandle parms = dict.getKey("/DecodeParms");
    if (!parms.isArray()) return rowBytes(parms);
    std::uint64_t largest = 0;
    for (int i = 0; i < parms.getArrayNItems(); ++i) largest = std::max(largest, rowBytes(parms.getArrayItem(i)));
    return largest;
  } catch (const std::exception&) {
    return 0;  // a dictionary qpdf cannot read it cannot decode by either
  }
}

void refuseHugePredictorRows(QPDFObjectHandle stream, const std::string& what) {
  if (const auto row = predictorRowBytes(stream); row > kMaxPredictorRowBytes)
    throw SecurePdfError("The document's " + what + " declares predictor rows of " + std::to_string(row) +
                         " bytes; it is refused as damaged");
}

}  // namespace penvora::core::securepdf
