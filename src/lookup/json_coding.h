#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace noru::lookup {

// Member names of the metadata service: field names in snake case on the wire.

// "leadOutOffset" -> "lead_out_offset": an underscore before each upper-case letter, which
// becomes lower case.
std::string toSnakeCase(std::string_view fieldName);

// "release_mbid" -> "releaseMbid": every underscore with a character after it is removed and
// that character made upper case; underscores at the very beginning or end stay, so a name
// without underscores ("releaseMbid") is unchanged.
std::string fromSnakeCase(std::string_view memberName);

// A request document that cannot be written as JSON (a text that is not UTF-8).
class EncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A response body that is not the expected document. what() is a human-readable description
// naming the offending member, e.g. "releases[0].title".
class DecodingError : public std::runtime_error {
 public:
  enum class Kind { dataCorrupted, keyNotFound, valueNotFound, typeMismatch };

  // `path` is where in the document the problem lies ("" for the whole body); `expected` says
  // what a mismatched value should have been ("a string"); `detail`, when given, is added in
  // parentheses (the JSON library's own message for a body it refused).
  DecodingError(Kind kind, std::string path, std::string_view expected = {},
                std::string_view detail = {});

  Kind kind() const noexcept { return kind_; }
  const std::string& path() const noexcept { return path_; }

 private:
  Kind kind_;
  std::string path_;
};

// The compact JSON text of `document`: no whitespace added. Raises EncodingError.
std::string encodeCompact(const nlohmann::json& document);

// Parses a response body. Raises DecodingError (dataCorrupted) for every error of the JSON
// library.
nlohmann::ordered_json parseJson(std::string_view body);

// Reads the members of one JSON object by field name, all or nothing: every accessor raises
// DecodingError rather than return a doubtful value. Texts are JSON strings only; integers are
// JSON numbers holding a whole number within 64 bits (2.0 is 2, 2.5 is refused); an optional
// member may be missing or null; members that match no field are ignored.
class JsonObjectReader {
 public:
  // `path` names the object in error messages ("releases[0]"; "" for the whole body).
  JsonObjectReader(const nlohmann::ordered_json& value, std::string path);

  std::string text(std::string_view field) const;
  std::optional<std::string> optionalText(std::string_view field) const;
  std::int64_t integer(std::string_view field) const;
  std::optional<std::int64_t> optionalInteger(std::string_view field) const;
  std::optional<bool> optionalBoolean(std::string_view field) const;
  JsonObjectReader object(std::string_view field) const;
  std::optional<JsonObjectReader> optionalObject(std::string_view field) const;

  // A required array of objects, each read by `read(JsonObjectReader) -> Element`.
  template <class Read>
  auto objects(std::string_view field, Read read) const
      -> std::vector<decltype(read(std::declval<const JsonObjectReader&>()))>;
  // The same, with a missing or null member read as an empty array.
  template <class Read>
  auto optionalObjects(std::string_view field, Read read) const
      -> std::vector<decltype(read(std::declval<const JsonObjectReader&>()))>;

 private:
  const nlohmann::ordered_json* find(std::string_view field) const;
  const nlohmann::ordered_json& required(std::string_view field) const;
  std::string pathOf(std::string_view field) const;

  std::string path_;
  // Field name (member name converted from snake case) -> value; the first member wins.
  std::map<std::string, const nlohmann::ordered_json*, std::less<>> members_;
};

template <class Read>
auto JsonObjectReader::objects(std::string_view field, Read read) const
    -> std::vector<decltype(read(std::declval<const JsonObjectReader&>()))> {
  const auto& array = required(field);
  if (!array.is_array()) {
    throw DecodingError(DecodingError::Kind::typeMismatch, pathOf(field), "an array");
  }
  std::vector<decltype(read(std::declval<const JsonObjectReader&>()))> elements;
  elements.reserve(array.size());
  for (std::size_t index = 0; index < array.size(); ++index) {
    const JsonObjectReader element(array[index], pathOf(field) + "[" + std::to_string(index) + "]");
    elements.push_back(read(element));
  }
  return elements;
}

template <class Read>
auto JsonObjectReader::optionalObjects(std::string_view field, Read read) const
    -> std::vector<decltype(read(std::declval<const JsonObjectReader&>()))> {
  if (find(field) == nullptr) {
    return {};
  }
  return objects(field, read);
}

}  // namespace noru::lookup
