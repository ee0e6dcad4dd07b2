// Record descriptions: each record's fields written down once, walked by a reader and
// by a visitor.
//
// A record declares a static member template and defines it beside its parser:
//
//   template <class A, class Self>
//   void Vector3::describe(A& a, Self& v) {
//     a.declarative("Vector3");
//     a.field("x", v.x);
//     a.field("y", v.y);
//     a.field("z", v.z);
//   }
//
// and instantiates it for both walkers there (TALLOWMERE_DESCRIBED(Vector3)). `A` is a
// Reader (Self is the record being filled) or a Visitor (Self is const). The description
// lists the fields in stored order; conditions and counts are ordinary code over fields
// already described, so they read the same in both directions:
//
//   auto num_objects = count_of<uint32_t>(a, info.objects);  // 0 until read
//   a.field("num_objects", num_objects);
//   a.list("objects", info.objects, Counted{num_objects});
//   a.optional("restriction_tables", info.restriction_tables, (info.pack_mask & 1) != 0);
//
// A record whose stored form has a fixed length may say so (`static constexpr uint64_t
// kStoredSize`): a list of it then reserves its elements up front, never more than the
// remaining bytes could hold.
//
// Reader: reads each field from a cursor. A record that opens with `declarative` frames
// a failing field as "While parsing field '<field>' in <record>", located at the line of
// the call that names the field, moves the cursor back to the record's first byte and
// reads nothing more; one that opens with `hand_written` passes errors through
// unchanged. Once a field has failed every later step is skipped, so descriptions need
// no error handling of their own.
//
// Visitor: hands every field to a FieldVisitor, by name and in stored order: values,
// nested records, lists, keyed maps (in ascending key order, whatever the map's seed),
// absent optional parts, skipped padding and alignment.
//
//   auto region = Region::unpack(cursor);        // read_record<Region>(cursor)
//   MyDump dump;                                 // a FieldVisitor
//   if (region) visit_record(*region, dump);     // begin_record("", "Region"), id, ...
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "tallowmere/common/cursor.hpp"

namespace tallowmere::common {

// A u32 stored in the packed form of 1, 2 or 4 bytes.
struct PackedU32 {
  uint32_t value = 0;
};

// A value as the visitor sees it. The alternative is the stored form: bool is stored as
// a u32, a string as a PString with a 2-byte length, bytes as they are.
using FieldValue =
    std::variant<uint8_t, uint16_t, uint32_t, uint64_t, int16_t, int32_t, float, double, bool,
                 PackedU32, std::string_view, std::span<const uint8_t>>;

// How a list or map stores its element count in front of the elements.
enum class CountForm : uint8_t {
  None,    // no count in front: fixed, or given by an earlier field
  U32,     // a u32
  Packed,  // a packed u32
};

// What a visitor receives. List elements and map values come with an empty name; map
// entries come as key() followed by the value.
class FieldVisitor {
 public:
  virtual ~FieldVisitor() = default;
  virtual void value(std::string_view name, const FieldValue& value) = 0;
  virtual void begin_record(std::string_view name, std::string_view type) = 0;
  virtual void end_record() = 0;
  virtual void begin_list(std::string_view name, size_t size, CountForm count) = 0;
  virtual void end_list() = 0;
  virtual void begin_map(std::string_view name, size_t size, CountForm count) = 0;
  virtual void key(const FieldValue& key) = 0;
  virtual void end_map() = 0;
  // An optional part (or a part of another tree kind) that is not stored.
  virtual void absent(std::string_view /*name*/) {}
  // Bytes skipped without being read.
  virtual void skip(std::string_view /*name*/, uint64_t /*bytes*/) {}
  // The position moves up to the next multiple of `multiple`, counted from the payload start.
  virtual void align(uint64_t /*multiple*/) {}
};

// ---- Count forms and element kinds used in descriptions ----

struct CountU32 {
  static constexpr CountForm form = CountForm::U32;
  [[nodiscard]] ParseResult<uint32_t> read(Cursor& cursor) const { return read_u32(cursor); }
};

// A count known before the list: fixed, or the value of an earlier field.
struct Counted {
  static constexpr CountForm form = CountForm::None;
  uint64_t count = 0;
};

// Elements read by their type: numbers fixed-width, records by their description.
struct Auto {};

// Elements read by a description that takes more than the record (a tree kind, a part count).
template <class F>
struct Describe {
  F describe;
};
template <class F>
Describe(F) -> Describe<F>;

// Elements that are lists themselves.
template <class Count, class Element = Auto>
struct ListOf {
  Count count;
  Element element{};
};

// `count` bytes taken as one block; fewer fail with "failed to fill whole buffer".
struct Bytes {
  uint64_t count = 0;
  [[nodiscard]] ParseResult<std::vector<uint8_t>> read(Cursor& cursor) const {
    auto bytes = cursor.take(count);
    if (!bytes) return make_unexpected(std::move(bytes).error());
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
  }
  void visit(FieldVisitor& v, std::string_view name, const std::vector<uint8_t>& bytes) const {
    v.value(name, std::span<const uint8_t>(bytes));
  }
};

// A list kept in a pool that a record shares among its parts (every texture pair of a
// vertex array, say): the elements [first, first + count) of the pool. A record holding
// many small lists keeps them in a few pools instead of one allocation each.
struct Run {
  uint32_t first = 0;
  uint32_t count = 0;

  [[nodiscard]] size_t size() const { return count; }
  [[nodiscard]] bool empty() const { return count == 0; }
  template <class T>
  [[nodiscard]] std::span<const T> in(const std::vector<T>& pool) const {
    return std::span<const T>(pool).subspan(first, count);
  }
};

// List elements appended to `pool` (read) or taken from it (visited), the list itself
// held as the Run over them: `a.list("uvs", vertex.uvs, Counted{n}, InPool{pool})`.
template <class Pool, class Element = Auto>
struct InPool {
  Pool& pool;
  Element element{};
};
template <class Pool>
InPool(Pool&) -> InPool<Pool>;

// `count` bytes taken as one block and appended to `pool`, held as the Run over them;
// fewer fail with "failed to fill whole buffer". The visitor sees the bytes.
template <class Pool>
struct BytesInPool {
  Pool& pool;
  uint64_t count = 0;
  [[nodiscard]] ParseResult<Run> read(Cursor& cursor) const {
    auto bytes = cursor.take(count);
    if (!bytes) return make_unexpected(std::move(bytes).error());
    const auto first = static_cast<uint32_t>(pool.size());
    pool.insert(pool.end(), bytes->begin(), bytes->end());
    return Run{first, static_cast<uint32_t>(bytes->size())};
  }
  void visit(FieldVisitor& v, std::string_view name, const Run& run) const {
    v.value(name, run.in(pool));
  }
};
template <class Pool>
BytesInPool(Pool&, uint64_t) -> BytesInPool<Pool>;

// A u32 id where 0 stands for absent. The visitor sees the stored u32.
struct ZeroIsAbsent {
  [[nodiscard]] ParseResult<std::optional<uint32_t>> read(Cursor& cursor) const {
    auto value = read_u32(cursor);
    if (!value) return make_unexpected(std::move(value).error());
    if (*value == 0) return std::optional<uint32_t>();
    return std::optional<uint32_t>(*value);
  }
  void visit(FieldVisitor& v, std::string_view name, const std::optional<uint32_t>& id) const {
    v.value(name, id.value_or(0));
  }
};

class Reader;
class Visitor;

template <class T>
concept Described = requires(Reader& a, T& t) {
  T::describe(a, t);
};

template <class T>
struct IsStdArray : std::false_type {};
template <class T, size_t N>
struct IsStdArray<std::array<T, N>> : std::true_type {};
template <class T>
struct IsPair : std::false_type {};
template <class T>
struct IsInPool : std::false_type {};
template <class Pool, class Element>
struct IsInPool<InPool<Pool, Element>> : std::true_type {};
template <class A, class B>
struct IsPair<std::pair<A, B>> : std::true_type {};

// The number of elements a count field stores: what the record holds when visiting; when
// reading, 0 until the count is read into it.
template <class N, class A, class C>
[[nodiscard]] N count_of(const A&, const C& container) {
  if constexpr (A::kReading) {
    return N{0};
  } else {
    return static_cast<N>(container.size());
  }
}

// ---- Reader ----

class Reader {
 public:
  static constexpr bool kReading = true;

  explicit Reader(Cursor& cursor) : cursor_(cursor) {}

  [[nodiscard]] bool ok() const { return !error_.has_value(); }
  [[nodiscard]] ParseError take_error() { return std::move(*error_); }

  // Opens a record whose failing fields add a located frame and rewind.
  void declarative(const char* record) { scope_ = {record, cursor_.position()}; }
  // Opens a record whose errors pass through unchanged.
  void hand_written(const char* /*record*/) { scope_ = {}; }

  template <class T>
  void field(const char* name, T& out, SourceLocation at = SourceLocation::current()) {
    if (error_) return;
    read_value(out);
    if (error_) framed(name, at);
  }

  // A field read by `codec.read(cursor)`.
  template <class T, class Codec>
  void field(const char* name, T& out, const Codec& codec,
             SourceLocation at = SourceLocation::current()) {
    if (error_) return;
    read_element(out, codec);
    if (error_) framed(name, at);
  }

  // A list of `count` elements; `out` is a vector (filled) or a std::array (assigned).
  template <class Seq, class Count, class Element = Auto>
  void list(const char* name, Seq& out, const Count& count, const Element& element = {},
            SourceLocation at = SourceLocation::current()) {
    if (error_) return;
    read_list(out, count, element);
    if (error_) framed(name, at);
  }

  // `count` entries of a key followed by a value; a repeated key keeps the later value.
  template <class Map, class Count, class Element = Auto>
  void map(const char* name, Map& out, const Count& count, const Element& element = {},
           SourceLocation at = SourceLocation::current()) {
    if (error_) return;
    const uint64_t n = read_count(count);
    // Every entry takes at least one byte, so the remaining bytes bound the table.
    if constexpr (requires { out.reserve(size_t{}); }) {
      if (!error_) out.reserve(static_cast<size_t>(std::min<uint64_t>(n, cursor_.remaining())));
    }
    for (uint64_t i = 0; i < n && !error_; ++i) {
      typename Map::key_type key{};
      read_value(key);
      if (error_) break;
      typename Map::mapped_type value{};
      read_element(value, element);
      if (!error_) out.insert_or_assign(key, std::move(value));
    }
    if (error_) framed(name, at);
  }

  // A part stored only when `present` (a flag or mask bit read before it).
  template <class T, class Element = Auto>
  void optional(const char* name, std::optional<T>& out, bool present, const Element& element = {},
                SourceLocation at = SourceLocation::current()) {
    if (error_ || !present) return;
    read_element(out.emplace(), element);
    if (error_) framed(name, at);
  }

  void absent(const char* /*name*/) {}

  // Moves the position forward by `bytes` without reading them (they need not exist).
  void skip(const char* name, uint64_t bytes, SourceLocation at = SourceLocation::current()) {
    if (error_) return;
    if (auto moved = cursor_.skip(bytes); !moved) fail(std::move(moved).error());
    if (error_) framed(name, at);
  }

  // Moves the position up to the next multiple of `multiple`.
  void align(uint64_t multiple) {
    if (error_) return;
    if (auto moved = cursor_.align(multiple); !moved) fail(std::move(moved).error());
  }

  // A check on the values read so far; fails with message() at the current position.
  template <class Message>
  void check(bool holds, Message&& message) {
    if (error_ || holds) return;
    fail(ParseError(FailedCheck{message(), cursor_.position()}));
  }

  // Nesting without a C++ call per level (trees read with their own stack).
  void open_record(const char* /*name*/) {}
  void close_record() {}

 private:
  struct Scope {
    const char* record = nullptr;  // set: a declarative record
    uint64_t start = 0;
  };

  void fail(ParseError error) { error_ = std::move(error); }

  void framed(const char* name, SourceLocation at) {
    if (scope_.record == nullptr) return;
    error_->add_frame(LocatedFrame{field_context(name, scope_.record), at});
    // A memory cursor can always be moved back; the failed-rewind rule
    // (ParseError::after_failed_rewind) applies to sources that can refuse a seek.
    cursor_.set_position(scope_.start);
  }

  template <class Describer, class T>
  void nested(T& out, const Describer& describe) {
    const Scope outer = scope_;
    scope_ = {};
    describe(*this, out);
    scope_ = outer;
  }

  template <class T>
  void read_value(T& out) {
    if constexpr (std::is_same_v<T, bool>) {
      auto word = read_u32(cursor_);
      if (!word) return fail(std::move(word).error());
      out = *word != 0;
    } else if constexpr (std::is_arithmetic_v<T>) {
      if (cursor_.try_read(out)) return;
      auto value = detail::read_le<T>(cursor_);
      if (!value) return fail(std::move(value).error());
      out = *value;
    } else if constexpr (IsStdArray<T>::value) {
      for (auto& element : out) {
        read_value(element);
        if (error_) return;
      }
    } else if constexpr (IsPair<T>::value) {
      read_value(out.first);
      if (!error_) read_value(out.second);
    } else {
      static_assert(Described<T>, "a field type needs a description or a codec");
      nested(out, [](Reader& a, T& t) { T::describe(a, t); });
    }
  }

  template <class T, class Element>
  void read_element(T& out, const Element& element) {
    if constexpr (std::is_same_v<Element, Auto>) {
      read_value(out);
    } else if constexpr (requires { element.describe; }) {
      nested(out, element.describe);
    } else if constexpr (requires {
                           element.count;
                           element.element;
                         }) {
      read_list(out, element.count, element.element);
    } else {
      auto value = element.read(cursor_);
      if (!value) return fail(std::move(value).error());
      out = std::move(*value);
    }
  }

  template <class Count>
  uint64_t read_count(const Count& count) {
    if constexpr (std::is_same_v<Count, Counted>) {
      return count.count;
    } else {
      auto n = count.read(cursor_);
      if (!n) {
        fail(std::move(n).error());
        return 0;
      }
      return *n;
    }
  }

  // Room for `more` elements after those already held; a pool grows geometrically.
  template <class Seq>
  static void reserve_more(Seq& out, uint64_t more) {
    const size_t want = out.size() + static_cast<size_t>(more);
    if (want > out.capacity()) out.reserve(std::max(want, out.capacity() * 2));
  }

  template <class Seq, class Count, class Element>
  void read_list(Seq& out, const Count& count, const Element& element) {
    if constexpr (IsInPool<Element>::value) {
      const size_t first = element.pool.size();
      read_list(element.pool, count, element.element);
      out = Run{static_cast<uint32_t>(first), static_cast<uint32_t>(element.pool.size() - first)};
    } else if constexpr (IsStdArray<Seq>::value) {
      const uint64_t n = read_count(count);
      for (uint64_t i = 0; i < n && i < out.size() && !error_; ++i) read_element(out[i], element);
    } else {
      const uint64_t n = read_count(count);
      using T = typename Seq::value_type;
      // Reserve no more than the remaining bytes could hold. Numbers read by their type
      // are taken in one sweep when all of them are there; records of a known stored
      // size reserve like numbers; other records grow as they arrive.
      if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool> &&
                    std::is_same_v<Element, Auto>) {
        if (n <= cursor_.remaining() / sizeof(T)) {
          const size_t start = out.size();
          out.resize(start + static_cast<size_t>(n));
          for (size_t i = 0; i < n; ++i) {
            const bool read = cursor_.try_read(out[start + i]);
            (void)read;  // enough bytes remain for every element
          }
          return;
        }
      }
      if constexpr (std::is_arithmetic_v<T>) {
        reserve_more(out, std::min<uint64_t>(n, cursor_.remaining() / sizeof(T)));
      } else if constexpr (requires { T::kStoredSize; }) {
        reserve_more(out, std::min<uint64_t>(n, cursor_.remaining() / T::kStoredSize));
      }
      for (uint64_t i = 0; i < n && !error_; ++i) read_element(out.emplace_back(), element);
    }
  }

  Cursor& cursor_;
  Scope scope_;
  std::optional<ParseError> error_;
};

// Reads a T from the cursor with `describe(reader, value)`.
template <class T, class Describer>
[[nodiscard]] ParseResult<T> read_record(Cursor& cursor, const Describer& describe) {
  Reader reader(cursor);
  T value{};
  describe(reader, value);
  if (!reader.ok()) return make_unexpected(reader.take_error());
  return value;
}

template <class T>
[[nodiscard]] ParseResult<T> read_record(Cursor& cursor) {
  return read_record<T>(cursor, [](Reader& a, T& t) { T::describe(a, t); });
}

// ---- Visitor ----

class Visitor {
 public:
  static constexpr bool kReading = false;

  explicit Visitor(FieldVisitor& out) : out_(out) {}

  [[nodiscard]] bool ok() const { return true; }

  void declarative(const char* record) { out_.begin_record(pending_, record); }
  void hand_written(const char* record) { out_.begin_record(pending_, record); }

  template <class T>
  void field(const char* name, const T& value, SourceLocation = SourceLocation::current()) {
    visit_value(name, value);
  }

  template <class T, class Codec>
  void field(const char* name, const T& value, const Codec& codec,
             SourceLocation = SourceLocation::current()) {
    visit_element(name, value, codec);
  }

  template <class Seq, class Count, class Element = Auto>
  void list(const char* name, const Seq& in, const Count&, const Element& element = {},
            SourceLocation = SourceLocation::current()) {
    if constexpr (IsInPool<Element>::value) {
      visit_list(name, in.in(element.pool), Count::form, element.element);
    } else {
      visit_list(name, in, Count::form, element);
    }
  }

  template <class Map, class Count, class Element = Auto>
  void map(const char* name, const Map& in, const Count&, const Element& element = {},
           SourceLocation = SourceLocation::current()) {
    std::vector<typename Map::key_type> keys;
    keys.reserve(in.size());
    for (const auto& entry : in) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    out_.begin_map(name, in.size(), Count::form);
    for (const auto& key : keys) {
      out_.key(FieldValue(key));
      visit_element("", in.find(key)->second, element);
    }
    out_.end_map();
  }

  template <class T, class Element = Auto>
  void optional(const char* name, const std::optional<T>& in, bool /*present*/,
                const Element& element = {}, SourceLocation = SourceLocation::current()) {
    if (in) {
      visit_element(name, *in, element);
    } else {
      out_.absent(name);
    }
  }

  void absent(const char* name) { out_.absent(name); }
  void skip(const char* name, uint64_t bytes, SourceLocation = SourceLocation::current()) {
    out_.skip(name, bytes);
  }
  void align(uint64_t multiple) { out_.align(multiple); }
  template <class Message>
  void check(bool, Message&&) {}

  void open_record(const char* name) { pending_ = name; }
  void close_record() { out_.end_record(); }

  // Visits `value` as a record named `name` with `describe(visitor, value)`.
  template <class T, class Describer>
  void nested(std::string_view name, const T& value, const Describer& describe) {
    pending_ = name;
    describe(*this, value);
    out_.end_record();
  }

 private:
  template <class T>
  void visit_value(std::string_view name, const T& value) {
    if constexpr (std::is_arithmetic_v<T>) {
      out_.value(name, FieldValue(value));
    } else if constexpr (IsStdArray<T>::value) {
      visit_list(name, value, CountForm::None, Auto{});
    } else if constexpr (IsPair<T>::value) {
      out_.begin_record(name, "pair");
      visit_value("first", value.first);
      visit_value("second", value.second);
      out_.end_record();
    } else {
      static_assert(Described<T>, "a field type needs a description or a codec");
      nested(name, value, [](Visitor& a, const T& t) { T::describe(a, t); });
    }
  }

  template <class T, class Element>
  void visit_element(std::string_view name, const T& value, const Element& element) {
    if constexpr (std::is_same_v<Element, Auto>) {
      visit_value(name, value);
    } else if constexpr (requires { element.describe; }) {
      nested(name, value, element.describe);
    } else if constexpr (requires {
                           element.count;
                           element.element;
                         }) {
      visit_list(name, value, decltype(element.count)::form, element.element);
    } else {
      element.visit(out_, name, value);
    }
  }

  template <class Seq, class Element>
  void visit_list(std::string_view name, const Seq& in, CountForm form, const Element& element) {
    out_.begin_list(name, in.size(), form);
    for (const auto& value : in) visit_element("", value, element);
    out_.end_list();
  }

  FieldVisitor& out_;
  std::string_view pending_;
};

// Hands every field of `value` to `out`, as a record named `name`.
template <class T>
void visit_record(const T& value, FieldVisitor& out, std::string_view name = "") {
  Visitor visitor(out);
  visitor.nested(name, value, [](Visitor& a, const T& t) { T::describe(a, t); });
}

}  // namespace tallowmere::common

// Instantiates T::describe for the reader and the visitor, in the file that defines it.
#define TALLOWMERE_DESCRIBED(T)                                 \
  template void T::describe(::tallowmere::common::Reader&, T&); \
  template void T::describe(::tallowmere::common::Visitor&, const T&)
