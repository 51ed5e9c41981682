#include "core/config_values.h"

#include <algorithm>
#include <initializer_list>

#include "base/case.h"

namespace vt::core {
namespace {

bool is_one_of(std::string_view word, std::initializer_list<std::string_view> words) {
  return std::ranges::find(words, word) != words.end();
}

}  // namespace

bool true_if_yes(std::string_view value) {
  return is_one_of(base::upper_for_compare(value), {"Y", "1", "YES", "TRUE"});
}

bool true_unless_no(std::string_view value) {
  return !is_one_of(base::upper_for_compare(value), {"N", "0", "NO", "FALSE"});
}

bool true_unless_off(std::string_view value) {
  return !is_one_of(base::upper_for_compare(value), {"0", "F", "N", "NO", "OFF", "FALSE"});
}

std::optional<bool> switch_state(std::string_view value) {
  const std::string word = base::lower_for_compare(value);
  if (is_one_of(word, {"1", "on"})) return true;
  if (is_one_of(word, {"0", "off"})) return false;
  return std::nullopt;
}

std::optional<std::string> level_word(std::string_view value) {
  std::string word = base::lower_for_compare(value);
  if (!is_one_of(word, {"trace", "debug", "info", "warn", "error"})) return std::nullopt;
  return word;
}

std::optional<DbType> db_type(std::string_view value) {
  const std::string word = base::lower_for_compare(value);
  if (word == "sqlite") return DbType::sqlite;
  if (word == "mysql") return DbType::mysql;
  if (is_one_of(word, {"postgres", "postgresql"})) return DbType::postgresql;
  return std::nullopt;
}

std::string_view first_characters(std::string_view text, std::size_t count) {
  // A character starts at every byte that is not a continuation byte
  // (10xxxxxx); cut before the start of character number `count`.
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen == count) return text.substr(0, i);
    ++seen;
  }
  return text;
}

}  // namespace vt::core
