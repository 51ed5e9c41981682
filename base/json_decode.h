#pragma once
// Typed JSON decoding: a JSON text read straight into plain records described
// by field tables (base/json_record.h), without building a document first.
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/json_record.h"
#include "base/json_rules.h"

namespace vt::base::json {

namespace detail {

// Decodes `text` into `target`, which holds a value-initialised value.
std::expected<void, std::string> decode_into(std::string_view text, const Target& target);

// The quick pass over a text whose root is an object or an array: true when
// it has decoded `text` into `target` exactly as decode_into would; false,
// with `target` in any state, when decode_into must read the text itself.
// Uses `text`'s spare capacity, when it has 64 bytes of it, as padding.
bool decode_fast(const std::string& text, const Target& target);

// The quick pass over array texts whose elements go, one text after another,
// to one list: as decode_fast would take the elements of a list that held
// them all, read at `depth` (that of the container holding the list), but
// without making room for them. The parser's buffers serve every text.
class ElementBatches {
 public:
  ElementBatches();
  ~ElementBatches();
  ElementBatches(const ElementBatches&) = delete;
  ElementBatches& operator=(const ElementBatches&) = delete;

  // Decodes the array at `text` of `size` bytes, `capacity` of them
  // readable (at least 64 past the text): false when decode_fast would not
  // take its elements, with the list in any state.
  bool decode(const char* text, std::size_t size, std::size_t capacity, const Target& list,
              std::size_t depth);

 private:
  struct Parser;
  std::unique_ptr<Parser> parser_;
};

// decode_fast, else decode_into from a fresh copy of `start`.
template <class T>
std::expected<T, std::string> decode_as(const std::string& text, const RecordInfo* table,
                                        const T& start) {
  T value = start;
  const Target target{&Codec<T>::info, table, &value};
  if (decode_fast(text, target)) return value;
  value = start;
  auto done = decode_into(text, target);
  if (!done) return std::unexpected(std::move(done.error()));
  return value;
}

}  // namespace detail

/// " at line L column C": the place of the last of the first `consumed` bytes
/// of `text` (the start of the text when `consumed` is 0). Lines are counted
/// from 1 and end with their line feed; columns count bytes from 1, so
/// column 0 stands before a line's first byte.
std::string at_position(std::string_view text, std::size_t consumed);

/// Decodes the JSON text `text` as one value of type T.
///
/// The text holds exactly one JSON value, optionally surrounded by white
/// space (a leading UTF-8 byte order mark fails at line 1 column 1 with
/// `unexpected byte order mark`); anything else after
/// it fails with "trailing characters", a NUL byte anywhere fails, and an
/// empty text fails. Scalars follow the member types of base/json_record.h;
/// a record reads from an object, or from an array when its table allows:
///
/// - object: keys in any order; keys the table does not know are skipped
///   with their values at any depth; a known key given twice fails
///   (`duplicate field "id" in TopUser`); after the object the first absent
///   required field fails (`missing field "reason" in Restriction`); absent
///   defaulted and optional fields keep the value-initialised record's value.
/// - array: the field values in field order. When it ends early the rest
///   keep their values unless one of them is required or optional, which
///   fails, as does an array longer than the table:
///   `invalid length 2, expected TopUser with 9 fields`.
///
/// A value of the wrong JSON type fails with
/// `invalid type: string "5", expected a float`; an integer outside its
/// member's range with `invalid value: integer -1, expected u32`; a number
/// beyond the range of a double fails wherever it appears. Objects and
/// arrays nest at most 128 deep (`nesting deeper than 128 levels`), skipped
/// values included. Strings must be UTF-8, so a text that decodes is UTF-8.
/// Syntax errors carry the JSON parser's description. Every error message is
/// one line that ends with " at line L column C", the place where the fault
/// was found (columns count bytes). Nothing of a failed decode is returned.
///
/// A text read with base::read_file or base::run_process has the spare
/// capacity that the quick pass reads past its end; any other text is copied
/// for it first.
template <class T>
requires std::is_void_v<detail::RecordIn_t<T>> std::expected<T, std::string> decode_json(
    const std::string& text) {
  return detail::decode_as<T>(text, nullptr, T{});
}

/// As above, for a type T that holds records of type R, read with `table`:
/// R itself, or a list, map or nullable of R.
template <class T, class R, std::size_t N>
requires std::is_same_v<detail::RecordIn_t<T>, R> std::expected<T, std::string> decode_json(
    const std::string& text, const Record<R, N>& table) {
  return detail::decode_as<T>(text, &table, T{});
}

/// As above, starting from `start` instead of a value-initialised T: fields
/// the text leaves out keep their values in `start`, and the sieves of its
/// sieved lists decide which elements are kept.
template <class T, class R, std::size_t N>
requires std::is_same_v<detail::RecordIn_t<T>, R> std::expected<T, std::string> decode_json(
    const std::string& text, const Record<R, N>& table, const T& start) {
  return detail::decode_as<T>(text, &table, start);
}

}  // namespace vt::base::json
