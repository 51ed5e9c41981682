// The quick pass of the typed JSON decoder against the careful reader: what
// the quick pass accepts, the careful reader must accept with the very same
// values, down to the sign of a zero and the digits of a kept integer. The
// records here use every member type of the product's records (and maps of
// records besides), both record forms and every presence; texts are also
// read as the roots the product decodes besides records. The seeds are the
// texts of the decoding tests.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/json_decode.h"
#include "fuzz/fuzz_input.h"
#include "tests/unit/json_bits.h"

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
  std::vector<nlohmann::json> kept;
  std::optional<double> ratio;
  std::vector<std::string> names;
};

void add(std::string& out, const Inner& v) {
  vt::json_bits::add_all(out, v.f, v.i, v.s);
}

void add(std::string& out, const Outer& v) {
  vt::json_bits::add_all(out, v.id, v.name, v.flag, v.any, v.inner, v.maybe, v.list, v.map,
                         v.numbers, v.kept, v.ratio, v.names);
}

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
    json::field<&Outer::numbers>("numbers", defaulted),
    json::field<&Outer::kept>("kept", defaulted), json::field<&Outer::ratio>("ratio", optional),
    json::field<&Outer::names>("names", defaulted));

template <class T>
void compare(const std::string& text, const json::RecordInfo* table) {
  T quick{};
  if (!json::detail::decode_fast(text, {&json::detail::Codec<T>::info, table, &quick})) return;
  T careful{};
  if (!json::detail::decode_into(text, {&json::detail::Codec<T>::info, table, &careful})) {
    std::abort();
  }
  if (vt::json_bits::bits(quick) != vt::json_bits::bits(careful)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(vt::fuzz::as_text(data, size));
  compare<Outer>(text, &kOuter);
  compare<std::unordered_map<std::string, Inner>>(text, &kInner);
  compare<std::vector<std::string>>(text, nullptr);
  compare<nlohmann::json>(text, nullptr);
  return 0;
}
