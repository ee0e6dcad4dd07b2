// The region's calendar, sky and sound descriptions.
//
// Hand-written layouts, little-endian; PStrings have a 2-byte length prefix and are
// followed by alignment to 4 counted from the start of the payload; a list is a u32
// count followed by its elements. Nothing here is interpreted: every value is held as
// read so that the records after it sit at the right position.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tallowmere/common/cursor.hpp"
#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::file_type {

struct TimeOfDay {
  uint32_t value = 0;
  bool flag = false;  // the stored u32 is nonzero
  std::string name;
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Season {
  uint32_t value = 0;
  std::string name;
  [[nodiscard]] static common::ParseResult<Season> unpack(common::Cursor& cursor) {
    return common::read_record<Season>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct GameTime {
  double time_value = 0;
  std::array<uint32_t, 3> values{};
  std::string name;
  std::vector<TimeOfDay> times_of_day;
  std::vector<std::string> names;
  std::vector<Season> seasons;
  [[nodiscard]] static common::ParseResult<GameTime> unpack(common::Cursor& cursor) {
    return common::read_record<GameTime>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct DayGroupItem {
  std::array<uint32_t, 9> values{};
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SkyTimeItem {
  std::array<uint32_t, 6> values{};
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SkyTimeOfDay {
  std::array<uint32_t, 11> values{};
  std::vector<SkyTimeItem> items;
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct DayGroup {
  uint32_t value = 0;
  std::string name;
  std::vector<DayGroupItem> items;
  std::vector<SkyTimeOfDay> sky_times;
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SkyDesc {
  std::array<uint64_t, 2> values{};  // two f64, held as their raw bits
  std::vector<DayGroup> day_groups;
  [[nodiscard]] static common::ParseResult<SkyDesc> unpack(common::Cursor& cursor) {
    return common::read_record<SkyDesc>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct AmbientItem {
  std::array<uint32_t, 5> values{};
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct AmbientSTBDesc {
  uint32_t value = 0;
  std::vector<AmbientItem> items;
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SoundDesc {
  std::vector<AmbientSTBDesc> ambient_descs;
  [[nodiscard]] static common::ParseResult<SoundDesc> unpack(common::Cursor& cursor) {
    return common::read_record<SoundDesc>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type
