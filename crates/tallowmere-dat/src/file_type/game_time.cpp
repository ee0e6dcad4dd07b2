// The region's calendar, sky and sound descriptions. Nothing here is interpreted; the
// values are read field by field so that the terrain and scene tables after them in the
// region payload are found at the right position. Hand-written records: errors pass
// through unchanged. A name is a PString with a 2-byte length followed by alignment to
// 4 from the start of the payload; a list is a u32 count and its elements.
#include "tallowmere/dat/file_type/game_time.hpp"

#include "../field_codecs.hpp"

namespace tallowmere::dat::file_type {

using common::CountU32;

template <class A, class Self>
void TimeOfDay::describe(A& a, Self& time) {
  a.hand_written("TimeOfDay");
  a.field("value", time.value);
  a.field("flag", time.flag);  // a u32, true when nonzero
  a.field("name", time.name, codec::Name{});
}

template <class A, class Self>
void Season::describe(A& a, Self& season) {
  a.hand_written("Season");
  a.field("value", season.value);
  a.field("name", season.name, codec::Name{});
}

template <class A, class Self>
void GameTime::describe(A& a, Self& time) {
  a.hand_written("GameTime");
  a.field("time_value", time.time_value);
  a.field("values", time.values);
  a.field("name", time.name, codec::Name{});
  a.list("times_of_day", time.times_of_day, CountU32{});
  a.list("names", time.names, CountU32{}, codec::Name{});
  a.list("seasons", time.seasons, CountU32{});
}

template <class A, class Self>
void DayGroupItem::describe(A& a, Self& item) {
  a.hand_written("DayGroupItem");
  a.field("values", item.values);
  a.align(4);
}

template <class A, class Self>
void SkyTimeItem::describe(A& a, Self& item) {
  a.hand_written("SkyTimeItem");
  a.field("values", item.values);
  a.align(4);
}

template <class A, class Self>
void SkyTimeOfDay::describe(A& a, Self& sky_time) {
  a.hand_written("SkyTimeOfDay");
  a.field("values", sky_time.values);
  a.align(4);
  a.list("items", sky_time.items, CountU32{});
}

template <class A, class Self>
void DayGroup::describe(A& a, Self& group) {
  a.hand_written("DayGroup");
  a.field("value", group.value);
  a.field("name", group.name, codec::Name{});
  a.list("items", group.items, CountU32{});
  a.list("sky_times", group.sky_times, CountU32{});
}

// values: two f64, held as their raw bits.
template <class A, class Self>
void SkyDesc::describe(A& a, Self& sky) {
  a.hand_written("SkyDesc");
  a.field("values", sky.values);
  a.align(4);
  a.list("day_groups", sky.day_groups, CountU32{});
}

template <class A, class Self>
void AmbientItem::describe(A& a, Self& item) {
  a.hand_written("AmbientItem");
  a.field("values", item.values);  // no alignment anywhere in the sound description
}

template <class A, class Self>
void AmbientSTBDesc::describe(A& a, Self& desc) {
  a.hand_written("AmbientSTBDesc");
  a.field("value", desc.value);
  a.list("items", desc.items, CountU32{});
}

template <class A, class Self>
void SoundDesc::describe(A& a, Self& sound) {
  a.hand_written("SoundDesc");
  a.list("ambient_descs", sound.ambient_descs, CountU32{});
}

TALLOWMERE_DESCRIBED(TimeOfDay);
TALLOWMERE_DESCRIBED(Season);
TALLOWMERE_DESCRIBED(GameTime);
TALLOWMERE_DESCRIBED(DayGroupItem);
TALLOWMERE_DESCRIBED(SkyTimeItem);
TALLOWMERE_DESCRIBED(SkyTimeOfDay);
TALLOWMERE_DESCRIBED(DayGroup);
TALLOWMERE_DESCRIBED(SkyDesc);
TALLOWMERE_DESCRIBED(AmbientItem);
TALLOWMERE_DESCRIBED(AmbientSTBDesc);
TALLOWMERE_DESCRIBED(SoundDesc);

}  // namespace tallowmere::dat::file_type
