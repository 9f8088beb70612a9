#include "lookup/json_coding.h"

#include <cmath>
#include <limits>

namespace noru::lookup {
namespace {

using Json = nlohmann::ordered_json;

bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

char toLower(char c) {
  return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

char toUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string describe(DecodingError::Kind kind, const std::string& path, std::string_view expected) {
  const std::string prefix = "The data couldn't be read because ";
  const std::string subject = path.empty() ? std::string("it") : "\"" + path + "\"";
  switch (kind) {
    case DecodingError::Kind::dataCorrupted:
      return prefix + "it isn't valid JSON.";
    case DecodingError::Kind::keyNotFound:
      return prefix + subject + " is missing.";
    case DecodingError::Kind::valueNotFound:
      return prefix + subject + " is null.";
    case DecodingError::Kind::typeMismatch:
      break;
  }
  return prefix + subject + " is not " + std::string(expected) + ".";
}

// A whole number within the signed 64-bit range, whichever way the parser stored it.
std::optional<std::int64_t> wholeNumber(const Json& value) {
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    return value.get<std::int64_t>();
  }
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
  }
  if (value.is_number_float()) {
    const double number = value.get<double>();
    // 2^63 itself is out of range; -2^63 is in it.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number < -kLimit ||
        number >= kLimit) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

}  // namespace

std::string toSnakeCase(std::string_view fieldName) {
  std::string snake;
  snake.reserve(fieldName.size() + 4);
  for (const char c : fieldName) {
    if (isUpper(c)) {
      snake += '_';
    }
    snake += toLower(c);
  }
  return snake;
}

std::string fromSnakeCase(std::string_view memberName) {
  const auto first = memberName.find_first_not_of('_');
  if (first == std::string_view::npos) {
    return std::string(memberName);
  }
  const auto last = memberName.find_last_not_of('_');
  std::string camel(memberName.substr(0, first));
  bool upperNext = false;
  for (auto index = first; index <= last; ++index) {
    const char c = memberName[index];
    if (c == '_') {
      upperNext = true;
      continue;
    }
    camel += upperNext ? toUpper(c) : c;
    upperNext = false;
  }
  camel += memberName.substr(last + 1);
  return camel;
}

DecodingError::DecodingError(Kind kind, std::string path, std::string_view expected,
                             std::string_view detail)
    : std::runtime_error(describe(kind, path, expected) +
                         (detail.empty() ? std::string() : " (" + std::string(detail) + ")")),
      kind_(kind),
      path_(std::move(path)) {}

std::string encodeCompact(const nlohmann::json& document) {
  try {
    return document.dump();
  } catch (const nlohmann::json::exception&) {
    throw EncodingError("The request could not be written: a text is not valid UTF-8.");
  }
}

Json parseJson(std::string_view body) {
  try {
    return Json::parse(body);
  } catch (const nlohmann::json::exception& error) {
    // Not only syntax: a number beyond a double's range is the library's out_of_range error.
    throw DecodingError(DecodingError::Kind::dataCorrupted, "", {}, error.what());
  }
}

JsonObjectReader::JsonObjectReader(const Json& value, std::string path) : path_(std::move(path)) {
  if (value.is_null()) {
    throw DecodingError(DecodingError::Kind::valueNotFound, path_);
  }
  if (!value.is_object()) {
    throw DecodingError(DecodingError::Kind::typeMismatch, path_, "an object");
  }
  for (const auto& [name, member] : value.items()) {
    members_.try_emplace(fromSnakeCase(name), &member);
  }
}

const Json* JsonObjectReader::find(std::string_view field) const {
  const auto found = members_.find(field);
  return found == members_.end() || found->second->is_null() ? nullptr : found->second;
}

const Json& JsonObjectReader::required(std::string_view field) const {
  const auto found = members_.find(field);
  if (found == members_.end()) {
    throw DecodingError(DecodingError::Kind::keyNotFound, pathOf(field));
  }
  if (found->second->is_null()) {
    throw DecodingError(DecodingError::Kind::valueNotFound, pathOf(field));
  }
  return *found->second;
}

std::string JsonObjectReader::pathOf(std::string_view field) const {
  const std::string member = toSnakeCase(field);
  return path_.empty() ? member : path_ + "." + member;
}

std::string JsonObjectReader::text(std::string_view field) const {
  const auto& value = required(field);
  if (!value.is_string()) {
    throw DecodingError(DecodingError::Kind::typeMismatch, pathOf(field), "a string");
  }
  return value.get<std::string>();
}

std::optional<std::string> JsonObjectReader::optionalText(std::string_view field) const {
  if (find(field) == nullptr) {
    return std::nullopt;
  }
  return text(field);
}

std::int64_t JsonObjectReader::integer(std::string_view field) const {
  const auto number = wholeNumber(required(field));
  if (!number) {
    throw DecodingError(DecodingError::Kind::typeMismatch, pathOf(field),
                        "a whole number within 64 bits");
  }
  return *number;
}

std::optional<std::int64_t> JsonObjectReader::optionalInteger(std::string_view field) const {
  if (find(field) == nullptr) {
    return std::nullopt;
  }
  return integer(field);
}

std::optional<bool> JsonObjectReader::optionalBoolean(std::string_view field) const {
  const auto* value = find(field);
  if (value == nullptr) {
    return std::nullopt;
  }
  if (!value->is_boolean()) {
    throw DecodingError(DecodingError::Kind::typeMismatch, pathOf(field), "true or false");
  }
  return value->get<bool>();
}

JsonObjectReader JsonObjectReader::object(std::string_view field) const {
  return JsonObjectReader(required(field), pathOf(field));
}

std::optional<JsonObjectReader> JsonObjectReader::optionalObject(std::string_view field) const {
  if (find(field) == nullptr) {
    return std::nullopt;
  }
  return object(field);
}

}  // namespace noru::lookup
