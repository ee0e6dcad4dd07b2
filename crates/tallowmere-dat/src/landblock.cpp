// Readers of the cell archive's landblock records. Every record here is declarative:
// each description is the list of its fields, and a failing field adds the frame
// "While parsing field '<field>' in <record>" located at its line and rewinds the cursor
// to the record's first byte (see common/record.hpp). Lists whose length comes from an
// earlier field are read entry by entry, so a damaged count ends in the end-of-data
// error, not in a huge allocation.
#include "tallowmere/dat/landblock.hpp"

#include "field_codecs.hpp"

namespace tallowmere::dat::landblock {

using common::Counted;

template <class A, class Self>
void CellLandblock::describe(A& a, Self& lb) {
  a.declarative("CellLandblock");
  a.field("id", lb.id);
  a.field("has_objects", lb.has_objects);
  a.list("terrain", lb.terrain, Counted{kVertexCount});
  a.field("height", lb.height, codec::ByteList{kVertexCount});
  // One pad byte, skipped without reading: a payload of 251 bytes is complete.
  a.skip("pad", 1);
}

template <class A, class Self>
void Frame::describe(A& a, Self& frame) {
  a.declarative("Frame");
  a.field("origin", frame.origin);
  a.field("orientation", frame.orientation);
}

template <class A, class Self>
void Stab::describe(A& a, Self& stab) {
  a.declarative("Stab");
  a.field("id", stab.id);
  a.field("frame", stab.frame);
}

template <class A, class Self>
void PortalInternal::describe(A& a, Self& portal) {
  a.declarative("PortalInternal");
  a.field("flags", portal.flags);
  a.field("other_cell_id", portal.other_cell_id);
  a.field("other_portal_id", portal.other_portal_id);
  a.field("num_stabs", portal.num_stabs);
  a.field("stab_list", portal.stab_list, codec::U16List{portal.num_stabs});
  // The list is padded to a multiple of 4 bytes by its count alone, whatever the
  // position; the pad need not exist at the end of the payload.
  a.skip("pad", (2 * uint64_t{portal.num_stabs}) % 4);
}

template <class A, class Self>
void BuildInfo::describe(A& a, Self& info) {
  a.declarative("BuildInfo");
  a.field("model_id", info.model_id);
  a.field("frame", info.frame);
  a.field("num_leaves", info.num_leaves);
  a.field("num_portals", info.num_portals);
  a.list("portals", info.portals, Counted{info.num_portals});
}

template <class A, class Self>
void RestrictionTable::describe(A& a, Self& table) {
  a.declarative("RestrictionTable");
  a.field("count", table.count);
  a.field("_bucket_size", table.bucket_size);
  a.map("tables", table.tables, Counted{table.count});  // a repeated key keeps the later value
}

template <class A, class Self>
void LandblockInfo::describe(A& a, Self& info) {
  auto num_objects = common::count_of<uint32_t>(a, info.objects);
  auto num_buildings = common::count_of<uint16_t>(a, info.buildings);
  a.declarative("LandblockInfo");
  a.field("id", info.id);
  a.field("num_cells", info.num_cells);
  a.field("num_objects", num_objects);
  a.list("objects", info.objects, Counted{num_objects});
  a.field("num_buildings", num_buildings);
  a.field("pack_mask", info.pack_mask);
  a.list("buildings", info.buildings, Counted{num_buildings});
  a.optional("restriction_tables", info.restriction_tables, (info.pack_mask & 0x1) != 0);
}

TALLOWMERE_DESCRIBED(CellLandblock);
TALLOWMERE_DESCRIBED(Frame);
TALLOWMERE_DESCRIBED(Stab);
TALLOWMERE_DESCRIBED(PortalInternal);
TALLOWMERE_DESCRIBED(BuildInfo);
TALLOWMERE_DESCRIBED(RestrictionTable);
TALLOWMERE_DESCRIBED(LandblockInfo);

common::ParseResult<CellLandblock> CellLandblock::unpack(std::span<const uint8_t> data) {
  common::Cursor cursor(data);
  return common::read_record<CellLandblock>(cursor);
}

common::ParseResult<LandblockInfo> LandblockInfo::unpack(std::span<const uint8_t> data) {
  common::Cursor cursor(data);
  return common::read_record<LandblockInfo>(cursor);
}

}  // namespace tallowmere::dat::landblock
