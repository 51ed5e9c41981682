#pragma once
// Every bit of a decoded value, as text, for comparing the two passes of the
// JSON decoder (the decoding tests and fuzz/json_fast_fuzz.cc): two values
// print alike only when they agree down to the sign of a zero and the kind
// of every number. A record prints its members with add_all, from an `add`
// overload beside it.
#include <bit>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/json_write.h"

namespace vt::json_bits {

inline void add(std::string& out, double value) {
  out += std::to_string(std::bit_cast<std::uint64_t>(value)) + ',';
}

inline void add(std::string& out, std::uint32_t value) {
  out += std::to_string(value) + "u,";
}

inline void add(std::string& out, std::int64_t value) {
  out += std::to_string(value) + "i,";
}

inline void add(std::string& out, bool value) {
  out += value ? "t," : "f,";
}

inline void add(std::string& out, const std::string& value) {
  out += std::to_string(value.size()) + ':' + value + ',';
}

inline void add(std::string& out, const nlohmann::json& value) {
  // The writer prints the sign of a zero, not whether an integer is signed.
  out += base::write_json(value);
  const auto types = [&out](const auto& self, const nlohmann::json& v) -> void {
    out += static_cast<char>('a' + static_cast<int>(v.type()));
    if (v.is_structured()) {
      for (const auto& item : v) self(self, item);
    }
  };
  types(types, value);
}

template <class T>
void add(std::string& out, const std::optional<T>& value);
template <class T>
void add(std::string& out, const std::vector<T>& value);
template <class T>
void add(std::string& out, const std::map<std::string, T>& value);
template <class T>
void add(std::string& out, const std::unordered_map<std::string, T>& value);

template <class... M>
void add_all(std::string& out, const M&... members) {
  out += '{';
  (add(out, members), ...);
  out += '}';
}

template <class T>
void add(std::string& out, const std::optional<T>& value) {
  if (value) {
    add(out, *value);
  } else {
    out += "-,";
  }
}

template <class T>
void add(std::string& out, const std::vector<T>& value) {
  out += '[';
  for (const T& item : value) add(out, item);
  out += ']';
}

template <class T>
void add(std::string& out, const std::map<std::string, T>& value) {
  out += '<';
  for (const auto& [key, item] : value) {
    add(out, key);
    add(out, item);
  }
  out += '>';
}

template <class T>
void add(std::string& out, const std::unordered_map<std::string, T>& value) {
  std::map<std::string, const T*> sorted;
  for (const auto& [key, item] : value) sorted.emplace(key, &item);
  out += '<';
  for (const auto& [key, item] : sorted) {
    add(out, key);
    add(out, *item);
  }
  out += '>';
}

template <class T>
std::string bits(const T& value) {
  std::string out;
  add(out, value);
  return out;
}

}  // namespace vt::json_bits
