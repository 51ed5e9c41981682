// The quick pass of the typed JSON decoder against the careful reader: what
// the quick pass accepts, the careful reader must accept with the very same
// values, down to the sign of a zero and the digits of a kept integer. The
// records here use every member type, both record forms and every presence.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "base/json_decode.h"
#include "base/json_write.h"
#include "fuzz/fuzz_input.h"

namespace {

namespace json = vt::base::json;
using json::Presence::defaulted;
using json::Presence::optional;
using json::Presence::required;

struct Inner {
  double f = 0.0;
  std::int64_t i = 0;
  std::optional<std::string> s;
};

struct Outer {
  std::uint32_t id = 0;
  std::string name;
  bool flag = false;
  nlohmann::json any = 0.0;
  Inner inner;
  std::optional<Inner> maybe;
  std::vector<Inner> list;
  std::map<std::string, Inner> map;
  std::unordered_map<std::string, std::vector<double>> numbers;
};

constexpr auto kInner = json::record<Inner>(
    "Inner", json::Form::object_or_array, json::field<&Inner::f>("f", required),
    json::field<&Inner::i>("i", defaulted), json::field<&Inner::s>("s", optional));

constexpr auto kOuter = json::record<Outer>(
    "Outer", json::Form::object_or_array, json::field<&Outer::id>("id", required),
    json::field<&Outer::name>("name", defaulted), json::field<&Outer::flag>("flag", defaulted),
    json::field<&Outer::any>("any", defaulted),
    json::field<&Outer::inner>("inner", defaulted, kInner),
    json::field<&Outer::maybe>("maybe", optional, kInner),
    json::field<&Outer::list>("list", defaulted, kInner),
    json::field<&Outer::map>("map", defaulted, kInner),
    json::field<&Outer::numbers>("numbers", defaulted));

// Every bit of a decoded value, as text.
void add(std::string& out, const nlohmann::json& value) {
  // The writer prints the sign of a zero, not whether an integer is signed.
  out += vt::base::write_json(value);
  const auto types = [&out](const auto& self, const nlohmann::json& v) -> void {
    out += static_cast<char>('a' + static_cast<int>(v.type()));
    if (v.is_structured()) {
      for (const auto& item : v) self(self, item);
    }
  };
  types(types, value);
}

void add(std::string& out, double value) {
  out += std::to_string(std::bit_cast<std::uint64_t>(value)) + ',';
}

void add(std::string& out, const Inner& value) {
  add(out, value.f);
  out += std::to_string(value.i) + ',' + (value.s ? "s" + *value.s : "-") + ',';
}

std::string canonical(const Outer& value) {
  std::string out = std::to_string(value.id) + ',' + value.name + ',' + (value.flag ? "t," : "f,");
  add(out, value.any);
  add(out, value.inner);
  if (value.maybe) add(out, *value.maybe);
  out += '|';
  for (const Inner& item : value.list) add(out, item);
  out += '|';
  for (const auto& [key, item] : value.map) {
    out += key + ':';
    add(out, item);
  }
  out += '|';
  const std::map<std::string, std::vector<double>> numbers(value.numbers.begin(),
                                                           value.numbers.end());
  for (const auto& [key, items] : numbers) {
    out += key + ':';
    for (const double item : items) add(out, item);
  }
  return out;
}

std::string canonical(const nlohmann::json& value) {
  std::string out;
  add(out, value);
  return out;
}

template <class T>
void compare(const std::string& text, const json::RecordInfo* table) {
  T quick{};
  if (!json::detail::decode_fast(text, {&json::detail::Codec<T>::info, table, &quick})) return;
  T careful{};
  if (!json::detail::decode_into(text, {&json::detail::Codec<T>::info, table, &careful})) {
    std::abort();
  }
  if (canonical(quick) != canonical(careful)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(vt::fuzz::as_text(data, size));
  compare<Outer>(text, &kOuter);
  compare<nlohmann::json>(text, nullptr);
  return 0;
}
