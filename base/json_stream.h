#pragma once
// Streamed decoding: a JSON text read a chunk at a time into one buffer,
// with the elements of one list of its root record decoded in batches as
// they come, so that the text is never held whole.
#include <cstddef>
#include <expected>
#include <functional>
#include <optional>
#include <string_view>

#include "base/json_decode.h"
#include "base/json_record.h"

namespace vt::base::json {

/// Reads the next bytes of a text into `buffer`, at most `size` of them:
/// how many, 0 at its end, or the errno of a failure.
using ReadSome = std::function<std::expected<std::size_t, int>(char* buffer, std::size_t size)>;

/// Reads `text`, which must outlive the reader, as a file would give it.
ReadSome text_reader(std::string_view text);

struct StreamLimits {
  /// The bytes asked of each read: the buffer holds one chunk and what is
  /// left of the one before.
  std::size_t chunk = std::size_t{1} << 20;
  /// The most bytes of a text read; one more fails the stream.
  std::size_t max_size = std::size_t{1} << 40;
  /// What the text's size is expected to be, or 0: the kept list makes
  /// room for its elements by it.
  std::size_t size_hint = 0;
};

namespace detail {
bool decode_stream(const ReadSome& read, const Target& root, std::string_view list_key,
                   const StreamLimits& limits);
}  // namespace detail

/// Decodes the text that `read` gives into a record T, read with `table`,
/// starting from `start` as decode_json does, and with the same values. The
/// elements of the root's list field `list_key` (whether the root is an
/// object or an array of field values) are decoded in batches by the quick
/// pass as each chunk comes: a record larger than a chunk makes the buffer
/// grow for it, and shrink back after it. The other members are held as
/// text until the root ends, then decoded with the quick pass.
///
/// Every byte is checked, as decode_json checks it. nullopt when the text
/// must be decoded whole: a fault (only the whole decode words one), a
/// failed read, a text longer than `limits.max_size`, or a form the quick
/// pass leaves to the careful reader. Nothing of a failed stream is kept.
template <class T, std::size_t N>
std::optional<T> decode_streamed(const ReadSome& read, const Record<T, N>& table,
                                 std::string_view list_key, const T& start,
                                 const StreamLimits& limits) {
  std::optional<T> value(start);
  const detail::Target root{&detail::Codec<T>::info, &table, &*value};
  if (!detail::decode_stream(read, root, list_key, limits)) value.reset();
  return value;
}

}  // namespace vt::base::json
