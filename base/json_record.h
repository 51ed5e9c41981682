#pragma once
// Field tables: how the members of a plain record map onto the members of a
// JSON object (and, where a table allows it, onto the elements of a JSON
// array). A table is built at compile time from member pointers:
//
//   struct Point { double x = 0.0; std::optional<std::string> label; };
//   inline constexpr auto kPoint = json::record<Point>(
//       "Point", json::Form::object_or_array,
//       json::field<&Point::x>("x", json::Presence::required),
//       json::field<&Point::label>("label", json::Presence::optional));
//
// A member whose type holds records (a record, or a list, map or nullable of
// them) names the table of those records as a third argument of `field`.
// The same C++ type may have several tables that differ only in the type name
// used in error messages; see `renamed`.
//
// Member types understood: double (any JSON number), std::uint32_t and
// std::int64_t (JSON integers within range), std::string, bool,
// nlohmann::json (any JSON value, kept as written; see integer_text),
// std::vector<T> and SievedList<T, S> (array),
// std::optional<T> (null or T), std::map / std::unordered_map keyed by
// std::string (object; the later of two equal keys wins), and records.
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace vt::base::json {

/// The binary subtype that marks an integer too large for 64 bits in an
/// untyped value: the value holds the integer's text, kept as written so
/// that it is written back with the same digits.
inline constexpr std::uint64_t kIntegerTextSubtype = 'I';

/// The untyped value of an integer written as `text`.
inline nlohmann::json integer_text(std::string_view text) {
  return nlohmann::json::binary(std::vector<std::uint8_t>(text.begin(), text.end()),
                                kIntegerTextSubtype);
}

/// The text of an integer kept by integer_text, or nullptr.
inline const nlohmann::json::binary_t* as_integer_text(const nlohmann::json& value) {
  if (!value.is_binary()) return nullptr;
  const auto& bytes = value.get_binary();
  return bytes.has_subtype() && bytes.subtype() == kIntegerTextSubtype ? &bytes : nullptr;
}

/// What a record does when the JSON text leaves a field out.
enum class Presence : std::uint8_t {
  /// Absent is an error, in objects and arrays alike.
  required,
  /// Absent keeps the value the member has in a value-initialised record.
  defaulted,
  /// In an object, absent keeps the member's initial value (an empty
  /// std::optional, typically). In an array such a field has no default: an
  /// array that ends before it is an error.
  optional,
};

/// The JSON forms a record accepts.
enum class Form : std::uint8_t {
  object,           ///< only an object keyed by field name
  object_or_array,  ///< also an array holding the field values in field order
};

namespace detail {

// What the reader does with a value, one kind per supported member type.
enum class Kind : std::uint8_t {
  skip,
  f64,
  u32,
  i64,
  string,
  boolean,
  any,
  list,
  map,
  nullable,
  record
};

// The run-time face of a member type. Containers reach their elements
// through the function pointers, which are the only type-specific code the
// reader runs.
struct TypeInfo {
  Kind kind = Kind::skip;
  const TypeInfo* inner = nullptr;                               // element type
  void* (*append)(void* list) = nullptr;                         // new element, value-initialised
  void* (*insert)(void* map, const std::string& key) = nullptr;  // fresh value under key
  void* (*engage)(void* nullable) = nullptr;                     // fresh value
  void (*disengage)(void* nullable) = nullptr;
  void (*reserve)(void* list, std::size_t count) = nullptr;  // room for count elements
  void (*close)(void* list) = nullptr;                       // after the last element
  bool (*wants_room)(const void* list) = nullptr;            // whether to reserve; null: always
};

template <class L>
void* append(void* list) {
  return &static_cast<L*>(list)->emplace_back();
}

template <class M>
void* insert(void* map, const std::string& key) {
  auto& value = (*static_cast<M*>(map))[key];
  value = std::remove_reference_t<decltype(value)>{};  // a repeated key starts afresh
  return &value;
}

template <class C>
void reserve(void* list, std::size_t count) {
  static_cast<C*>(list)->reserve(count);
}

template <class O>
void* engage(void* nullable) {
  return &static_cast<O*>(nullable)->emplace();
}

template <class O>
void disengage(void* nullable) {
  static_cast<O*>(nullable)->reset();
}

template <class L>
void settle(void* list) {
  auto& sieved = *static_cast<L*>(list);
  if (!sieved.has_pending) return;
  sieved.has_pending = false;
  if (!sieved.sieve(sieved.kept.back())) sieved.kept.pop_back();
}

template <class L>
bool wants_room(const void* list) {
  return static_cast<const L*>(list)->keeps_most;
}

template <class L>
void sieve_reserve(void* list, std::size_t count) {
  static_cast<L*>(list)->kept.reserve(count);
}

// The element is decoded in its place at the end of the kept ones, and
// leaves it again if the sieve does not pass it.
template <class L>
void* sieve_append(void* list) {
  settle<L>(list);
  auto& sieved = *static_cast<L*>(list);
  sieved.has_pending = true;
  return &sieved.kept.emplace_back();
}

}  // namespace detail

/// A list of which only the elements that its sieve passes are kept. Each
/// element is decoded whole, and so checked, before `sieve(element)` decides
/// on it; the sieve may note what it needs of an element it drops, and may
/// change one it keeps. Being part of the value, its state starts afresh
/// with the value when a decode starts again.
template <class E, class Sieve>
struct SievedList {
  Sieve sieve;
  std::vector<E> kept;
  bool has_pending = false;  ///< the last of `kept` is still being decoded
  /// Room for every element is made up front, as for a std::vector, when
  /// the sieve is known to keep most of them.
  bool keeps_most = false;
};

namespace detail {

// Codec<T>::info describes T; any other class type is taken for a record.
template <class T>
struct Codec {
  static_assert(std::is_class_v<T> && std::is_default_constructible_v<T>,
                "unsupported member type for JSON decoding");
  static constexpr TypeInfo info{.kind = Kind::record};
};
template <>
struct Codec<double> {
  static constexpr TypeInfo info{.kind = Kind::f64};
};
template <>
struct Codec<std::uint32_t> {
  static constexpr TypeInfo info{.kind = Kind::u32};
};
template <>
struct Codec<std::int64_t> {
  static constexpr TypeInfo info{.kind = Kind::i64};
};
template <>
struct Codec<std::string> {
  static constexpr TypeInfo info{.kind = Kind::string};
};
template <>
struct Codec<bool> {
  static constexpr TypeInfo info{.kind = Kind::boolean};
};
// An untyped value that is an array or an object holds untyped values.
inline constexpr TypeInfo kUntyped{.kind = Kind::any,
                                   .inner = &kUntyped,
                                   .append = &append<nlohmann::json>,
                                   .insert = &insert<nlohmann::json>};
template <>
struct Codec<nlohmann::json> {
  static constexpr const TypeInfo& info = kUntyped;
};
template <class E, class A>
struct Codec<std::vector<E, A>> {
  static constexpr TypeInfo info{.kind = Kind::list,
                                 .inner = &Codec<E>::info,
                                 .append = &append<std::vector<E, A>>,
                                 .reserve = &reserve<std::vector<E, A>>};
};
template <class E, class S>
struct Codec<SievedList<E, S>> {
  static constexpr TypeInfo info{.kind = Kind::list,
                                 .inner = &Codec<E>::info,
                                 .append = &sieve_append<SievedList<E, S>>,
                                 .reserve = &sieve_reserve<SievedList<E, S>>,
                                 .close = &settle<SievedList<E, S>>,
                                 .wants_room = &wants_room<SievedList<E, S>>};
};
template <class E>
struct Codec<std::optional<E>> {
  static constexpr TypeInfo info{.kind = Kind::nullable,
                                 .inner = &Codec<E>::info,
                                 .engage = &engage<std::optional<E>>,
                                 .disengage = &disengage<std::optional<E>>};
};
template <class E, class C, class A>
struct Codec<std::map<std::string, E, C, A>> {
  static constexpr TypeInfo info{.kind = Kind::map,
                                 .inner = &Codec<E>::info,
                                 .insert = &insert<std::map<std::string, E, C, A>>};
};
template <class E, class H, class Q, class A>
struct Codec<std::unordered_map<std::string, E, H, Q, A>> {
  static constexpr TypeInfo info{.kind = Kind::map,
                                 .inner = &Codec<E>::info,
                                 .insert = &insert<std::unordered_map<std::string, E, H, Q, A>>};
};

// The record type found inside T (through lists, maps and nullables), or void.
template <class T>
struct RecordIn {
  using type = std::conditional_t<Codec<T>::info.kind == Kind::record, T, void>;
};
template <class E, class A>
struct RecordIn<std::vector<E, A>> : RecordIn<E> {};
template <class E, class S>
struct RecordIn<SievedList<E, S>> : RecordIn<E> {};
template <class E>
struct RecordIn<std::optional<E>> : RecordIn<E> {};
template <class E, class C, class A>
struct RecordIn<std::map<std::string, E, C, A>> : RecordIn<E> {};
template <class E, class H, class Q, class A>
struct RecordIn<std::unordered_map<std::string, E, H, Q, A>> : RecordIn<E> {};
template <class T>
using RecordIn_t = typename RecordIn<T>::type;

template <class P>
struct MemberPointer;
template <class C, class M>
struct MemberPointer<M C::*> {
  using Class = C;
  using Type = M;
};

template <auto Member>
void* member_of(void* object) {
  using Class = typename MemberPointer<decltype(Member)>::Class;
  return &(static_cast<Class*>(object)->*Member);
}

}  // namespace detail

struct RecordInfo;

/// One entry of a field table, independent of the record's C++ type.
struct Field {
  std::string_view key;
  Presence presence = Presence::required;
  const detail::TypeInfo* type = nullptr;
  const RecordInfo* record = nullptr;  ///< table of the records inside the member, if any
  void* (*member)(void* object) = nullptr;
};

/// A field table, independent of the record's C++ type.
struct RecordInfo {
  std::string_view name;  ///< the type name used in error messages
  Form form = Form::object;
  std::span<const Field> (*table)(const RecordInfo&) = nullptr;
  std::uint64_t required = 0;    ///< bit i: field i is required
  std::uint64_t no_default = 0;  ///< bit i: field i cannot be left out of an array

  std::span<const Field> fields() const { return table(*this); }
};

/// The field table of records of type T, with N fields.
template <class T, std::size_t N>
struct Record : RecordInfo {
  std::array<Field, N> entries{};

  static std::span<const Field> entries_of(const RecordInfo& info) {
    return static_cast<const Record&>(info).entries;
  }
};

/// A field of records of type T; made by `field`, consumed by `record`.
template <class T>
struct FieldOf {
  Field field;
};

/// A field whose member type holds no records.
template <auto Member>
requires std::is_member_object_pointer_v<decltype(Member)>
constexpr auto field(std::string_view key, Presence presence) {
  using P = detail::MemberPointer<decltype(Member)>;
  static_assert(std::is_void_v<detail::RecordIn_t<typename P::Type>>,
                "a member holding records needs the table of those records");
  return FieldOf<typename P::Class>{Field{.key = key,
                                          .presence = presence,
                                          .type = &detail::Codec<typename P::Type>::info,
                                          .member = &detail::member_of<Member>}};
}

/// A field whose member type holds records of type R, read with `table`.
template <auto Member, class R, std::size_t N>
requires std::is_member_object_pointer_v<decltype(Member)>
constexpr auto field(std::string_view key, Presence presence, const Record<R, N>& table) {
  using P = detail::MemberPointer<decltype(Member)>;
  static_assert(std::is_same_v<detail::RecordIn_t<typename P::Type>, R>,
                "the table does not describe the records held by this member");
  return FieldOf<typename P::Class>{Field{.key = key,
                                          .presence = presence,
                                          .type = &detail::Codec<typename P::Type>::info,
                                          .record = &table,
                                          .member = &detail::member_of<Member>}};
}

namespace detail {
// Not constexpr: a table that calls one does not compile, and the compiler's
// message names it.
inline void two_fields_of_a_record_share_a_key() {}
inline void a_key_holds_a_quote_or_backslash() {}
}  // namespace detail

/// The table of records of type T named `name`, from its fields in order.
/// Each key names one field and holds no quote or backslash (the readers look
/// keys up on that ground, the quick pass comparing them as written); a table
/// whose keys break that does not compile.
template <class T, class... F>
requires(std::same_as<F, FieldOf<T>>&&...) consteval Record<T, sizeof...(F)> record(
    std::string_view name, Form form, const F&... fields) {
  static_assert(sizeof...(F) <= 64, "a record has at most 64 fields");
  Record<T, sizeof...(F)> result;
  result.name = name;
  result.form = form;
  result.table = &Record<T, sizeof...(F)>::entries_of;
  result.entries = {fields.field...};
  for (std::size_t i = 0; i < sizeof...(F); ++i) {
    if (result.entries[i].key.find_first_of("\"\\") != std::string_view::npos) {
      detail::a_key_holds_a_quote_or_backslash();
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (result.entries[i].key == result.entries[j].key) {
        detail::two_fields_of_a_record_share_a_key();
      }
    }
    const Presence presence = result.entries[i].presence;
    if (presence == Presence::required) result.required |= std::uint64_t{1} << i;
    if (presence != Presence::defaulted) result.no_default |= std::uint64_t{1} << i;
  }
  return result;
}

/// The same table under another type name, for a second name of one C++ type.
template <class T, std::size_t N>
constexpr Record<T, N> renamed(const Record<T, N>& table, std::string_view name) {
  Record<T, N> result = table;
  result.name = name;
  return result;
}

}  // namespace vt::base::json
