#include "core/interface/JsonObjectReader.hpp"

#include <cmath>
#include <limits>

namespace penvora::core::interface {
namespace {

std::string typeName(const nlohmann::json& v) { return v.type_name(); }

[[noreturn]] void mismatch(const std::string& path, const char* expected, const nlohmann::json& v) {
  throw DecodingError(DecodingError::Kind::typeMismatch, path,
                      std::string("Expected to decode ") + expected + " but found " + typeName(v) + " instead.");
}

}  // namespace

JsonObjectReader::JsonObjectReader(const nlohmann::json& value, std::string path)
    : object_(value), path_(std::move(path)) {
  if (!object_.is_object()) mismatch(path_, "an object", object_);
}

std::string JsonObjectReader::childPath(const char* key) const {
  return path_.empty() ? std::string(key) : path_ + "." + key;
}

const nlohmann::json* JsonObjectReader::lookup(const char* key, bool required, const char* expected) const {
  auto it = object_.find(key);
  if (it == object_.end()) {
    if (!required) return nullptr;
    throw DecodingError(DecodingError::Kind::keyNotFound, childPath(key),
                        std::string("No value associated with key \"") + key + "\".");
  }
  if (it->is_null()) {
    if (!required) return nullptr;
    throw DecodingError(DecodingError::Kind::valueNotFound, childPath(key),
                        std::string("Expected ") + expected + " value but found null instead.");
  }
  return &*it;
}

const nlohmann::json& element(const nlohmann::json& array, std::size_t i, const std::string& path,
                              const char* expected) {
  const nlohmann::json& v = array[i];
  if (v.is_null())
    throw DecodingError(DecodingError::Kind::valueNotFound, path,
                        std::string("Expected ") + expected + " value but found null instead.");
  return v;
}

std::string asString(const nlohmann::json& v, const std::string& path) {
  if (!v.is_string()) mismatch(path, "a string", v);
  return v.get<std::string>();
}

bool asBool(const nlohmann::json& v, const std::string& path) {
  if (!v.is_boolean()) mismatch(path, "a boolean", v);
  return v.get<bool>();
}

std::int64_t asInt(const nlohmann::json& v, const std::string& path) {
  if (v.is_number_integer() && !v.is_number_unsigned()) return v.get<std::int64_t>();
  if (v.is_number_unsigned()) {
    auto u = v.get<std::uint64_t>();
    if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return static_cast<std::int64_t>(u);
  } else if (v.is_number_float()) {
    // 150.0 is an integer written as a number with a point; 1.5 is not.
    double d = v.get<double>();
    // Strictly above -2^63: a float that rounds to it was written past it
    // (the exact minimum is read as an integer).
    if (std::isfinite(d) && std::trunc(d) == d && d > -9.2233720368547758e18 && d < 9.2233720368547758e18)
      return static_cast<std::int64_t>(d);
  } else {
    mismatch(path, "an integer", v);
  }
  throw DecodingError(DecodingError::Kind::dataCorrupted, path,
                      "Parsed JSON number <" + v.dump() + "> does not fit in Int64.");
}

float asFloat(const nlohmann::json& v, const std::string& path) {
  if (!v.is_number()) mismatch(path, "a number", v);
  double d = v.get<double>();
  if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max())
    throw DecodingError(DecodingError::Kind::dataCorrupted, path,
                        "Parsed JSON number <" + v.dump() + "> does not fit in Float.");
  return static_cast<float>(d);
}

std::string JsonObjectReader::requiredString(const char* key) const {
  return asString(*lookup(key, true, "String"), childPath(key));
}

std::optional<std::string> JsonObjectReader::optionalString(const char* key) const {
  const auto* v = lookup(key, false, "String");
  if (!v) return std::nullopt;
  return asString(*v, childPath(key));
}

bool JsonObjectReader::requiredBool(const char* key) const {
  return asBool(*lookup(key, true, "Bool"), childPath(key));
}

std::optional<bool> JsonObjectReader::optionalBool(const char* key) const {
  const auto* v = lookup(key, false, "Bool");
  if (!v) return std::nullopt;
  return asBool(*v, childPath(key));
}

std::int64_t JsonObjectReader::requiredInt(const char* key) const {
  return asInt(*lookup(key, true, "Int64"), childPath(key));
}

std::optional<std::int64_t> JsonObjectReader::optionalInt(const char* key) const {
  const auto* v = lookup(key, false, "Int64");
  if (!v) return std::nullopt;
  return asInt(*v, childPath(key));
}

float JsonObjectReader::requiredFloat(const char* key) const {
  return asFloat(*lookup(key, true, "Float"), childPath(key));
}

std::vector<std::string> JsonObjectReader::requiredStringArray(const char* key) const {
  const auto& a = requiredArray(key);
  std::vector<std::string> out;
  out.reserve(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string at = childPath(key) + "[" + std::to_string(i) + "]";
    out.push_back(asString(element(a, i, at, "String"), at));
  }
  return out;
}

const nlohmann::json& JsonObjectReader::requiredObject(const char* key) const {
  const auto& v = *lookup(key, true, "Dictionary");
  if (!v.is_object()) mismatch(childPath(key), "an object", v);
  return v;
}

const nlohmann::json& JsonObjectReader::requiredArray(const char* key) const {
  const auto& v = *lookup(key, true, "Array");
  if (!v.is_array()) mismatch(childPath(key), "an array", v);
  return v;
}

}  // namespace penvora::core::interface
