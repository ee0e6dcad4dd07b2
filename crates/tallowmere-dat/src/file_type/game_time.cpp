// The region's calendar, sky and sound descriptions. Nothing here is interpreted; the
// values are read field by field so that the terrain and scene tables after them in the
// region payload are found at the right position. A name is a PString with a 2-byte
// length followed by alignment to 4 from the start of the payload.
#include "tallowmere/dat/file_type/game_time.hpp"

#include "list_reader.hpp"

namespace tallowmere::dat::file_type {

using common::read_u32;
using detail::read_list;
using detail::read_name;
using detail::read_u32_array;

namespace {

// Smallest stored sizes, for capping reservations by the bytes that remain.
constexpr uint64_t kMinName = 2;                     // empty PString
constexpr uint64_t kMinTimeOfDay = 8 + kMinName;     // value, flag, name
constexpr uint64_t kMinSeason = 4 + kMinName;        // value, name
constexpr uint64_t kMinDayGroup = 4 + kMinName + 8;  // value, name, two empty lists
constexpr uint64_t kDayGroupItem = 9 * 4;
constexpr uint64_t kMinSkyTimeOfDay = 11 * 4 + 4;  // values, empty item list
constexpr uint64_t kSkyTimeItem = 6 * 4;
constexpr uint64_t kMinAmbientDesc = 8;  // value, empty item list
constexpr uint64_t kAmbientItem = 5 * 4;

// value u32, flag u32 (true when nonzero), name.
ParseResult<TimeOfDay> read_time_of_day(Cursor& cursor) {
  TimeOfDay time;
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  time.value = *value;
  auto flag = read_u32(cursor);
  if (!flag) return make_unexpected(std::move(flag).error());
  time.flag = *flag != 0;
  auto name = read_name(cursor);
  if (!name) return make_unexpected(std::move(name).error());
  time.name = std::move(*name);
  return time;
}

// A fixed run of u32 followed by alignment to 4 (a no-op when the run starts aligned).
template <size_t N>
ParseResult<std::array<uint32_t, N>> read_aligned_words(Cursor& cursor) {
  auto values = read_u32_array<N>(cursor);
  if (!values) return values;
  auto aligned = align_to_4(cursor);
  if (!aligned) return make_unexpected(std::move(aligned).error());
  return values;
}

// An element record that is only a run of words: 9-word day group items, 6-word sky
// time items (each aligned after), 5-word ambient items (not aligned).
template <class Item, size_t N, bool kAligned>
ParseResult<Item> read_word_item(Cursor& cursor) {
  auto values = kAligned ? read_aligned_words<N>(cursor) : read_u32_array<N>(cursor);
  if (!values) return make_unexpected(std::move(values).error());
  Item item;
  item.values = *values;
  return item;
}

// values 11 x u32, align 4, then the list of 6-word items.
ParseResult<SkyTimeOfDay> read_sky_time(Cursor& cursor) {
  SkyTimeOfDay sky_time;
  auto values = read_aligned_words<11>(cursor);
  if (!values) return make_unexpected(std::move(values).error());
  sky_time.values = *values;
  auto items = read_list<SkyTimeItem>(cursor, kSkyTimeItem, read_word_item<SkyTimeItem, 6, true>);
  if (!items) return make_unexpected(std::move(items).error());
  sky_time.items = std::move(*items);
  return sky_time;
}

// value u32, name, the list of 9-word items, the list of sky times.
ParseResult<DayGroup> read_day_group(Cursor& cursor) {
  DayGroup group;
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  group.value = *value;
  auto name = read_name(cursor);
  if (!name) return make_unexpected(std::move(name).error());
  group.name = std::move(*name);
  auto items =
      read_list<DayGroupItem>(cursor, kDayGroupItem, read_word_item<DayGroupItem, 9, true>);
  if (!items) return make_unexpected(std::move(items).error());
  group.items = std::move(*items);
  auto sky_times = read_list<SkyTimeOfDay>(cursor, kMinSkyTimeOfDay, read_sky_time);
  if (!sky_times) return make_unexpected(std::move(sky_times).error());
  group.sky_times = std::move(*sky_times);
  return group;
}

// value u32, then the list of 5-word items; no alignment.
ParseResult<AmbientSTBDesc> read_ambient_desc(Cursor& cursor) {
  AmbientSTBDesc desc;
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  desc.value = *value;
  auto items = read_list<AmbientItem>(cursor, kAmbientItem, read_word_item<AmbientItem, 5, false>);
  if (!items) return make_unexpected(std::move(items).error());
  desc.items = std::move(*items);
  return desc;
}

}  // namespace

ParseResult<Season> Season::unpack(Cursor& cursor) {
  Season season;
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  season.value = *value;
  auto name = read_name(cursor);
  if (!name) return make_unexpected(std::move(name).error());
  season.name = std::move(*name);
  return season;
}

ParseResult<GameTime> GameTime::unpack(Cursor& cursor) {
  GameTime time;
  auto time_value = common::read_f64(cursor);
  if (!time_value) return make_unexpected(std::move(time_value).error());
  time.time_value = *time_value;
  auto values = read_u32_array<3>(cursor);
  if (!values) return make_unexpected(std::move(values).error());
  time.values = *values;
  auto name = read_name(cursor);
  if (!name) return make_unexpected(std::move(name).error());
  time.name = std::move(*name);
  auto times = read_list<TimeOfDay>(cursor, kMinTimeOfDay, read_time_of_day);
  if (!times) return make_unexpected(std::move(times).error());
  time.times_of_day = std::move(*times);
  auto names = read_list<std::string>(cursor, kMinName, read_name);
  if (!names) return make_unexpected(std::move(names).error());
  time.names = std::move(*names);
  auto seasons = read_list<Season>(cursor, kMinSeason, Season::unpack);
  if (!seasons) return make_unexpected(std::move(seasons).error());
  time.seasons = std::move(*seasons);
  return time;
}

// values 2 x f64 (held as raw bits), align 4, then the list of day groups.
ParseResult<SkyDesc> SkyDesc::unpack(Cursor& cursor) {
  SkyDesc sky;
  for (auto& value : sky.values) {
    auto bits = common::read_u64(cursor);
    if (!bits) return make_unexpected(std::move(bits).error());
    value = *bits;
  }
  auto aligned = align_to_4(cursor);
  if (!aligned) return make_unexpected(std::move(aligned).error());
  auto groups = read_list<DayGroup>(cursor, kMinDayGroup, read_day_group);
  if (!groups) return make_unexpected(std::move(groups).error());
  sky.day_groups = std::move(*groups);
  return sky;
}

ParseResult<SoundDesc> SoundDesc::unpack(Cursor& cursor) {
  SoundDesc sound;
  auto descs = read_list<AmbientSTBDesc>(cursor, kMinAmbientDesc, read_ambient_desc);
  if (!descs) return make_unexpected(std::move(descs).error());
  sound.ambient_descs = std::move(*descs);
  return sound;
}

}  // namespace tallowmere::dat::file_type
