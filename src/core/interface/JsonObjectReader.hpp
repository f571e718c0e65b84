#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "penvora/JsonDecoding.hpp"

namespace penvora::core::interface {

// Reads the keys of one JSON object with the rules of the parameter form:
// a required key must be present and non-null with the right type; an
// optional key may be missing or null; anything else throws DecodingError
// naming the key's path. Callers read keys in declaration order, so the
// first offending key is the one reported.
class JsonObjectReader {
 public:
  JsonObjectReader(const nlohmann::json& value, std::string path);

  const std::string& path() const { return path_; }

  std::string requiredString(const char* key) const;
  std::optional<std::string> optionalString(const char* key) const;
  bool requiredBool(const char* key) const;
  std::optional<bool> optionalBool(const char* key) const;
  std::int64_t requiredInt(const char* key) const;
  std::optional<std::int64_t> optionalInt(const char* key) const;
  float requiredFloat(const char* key) const;
  std::vector<std::string> requiredStringArray(const char* key) const;
  // The raw value of a required key of JSON type object or array.
  const nlohmann::json& requiredObject(const char* key) const;
  const nlohmann::json& requiredArray(const char* key) const;

  std::string childPath(const char* key) const;

 private:
  // nullptr when missing or null and optional; throws when required.
  const nlohmann::json* lookup(const char* key, bool required, const char* expected) const;

  const nlohmann::json& object_;
  std::string path_;
};

// Element `i` of an array, at `path`; a null element is a missing value,
// as a null key is.
const nlohmann::json& element(const nlohmann::json& array, std::size_t i, const std::string& path,
                              const char* expected);

// Conversions shared by the reader and array elements.
std::string asString(const nlohmann::json& v, const std::string& path);
std::int64_t asInt(const nlohmann::json& v, const std::string& path);
float asFloat(const nlohmann::json& v, const std::string& path);
bool asBool(const nlohmann::json& v, const std::string& path);

}  // namespace penvora::core::interface
