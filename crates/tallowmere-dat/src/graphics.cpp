#include "tallowmere/dat/graphics.hpp"

#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::graphics {

using common::Quaternion;
using common::Record;
using common::Vector3;

ParseResult<Frame> Frame::read(Cursor& cursor) {
  Frame frame;
  Record rec(cursor, "Frame");
  rec.field("origin", TALLOWMERE_HERE, frame.origin, Vector3::read);
  rec.field("orientation", TALLOWMERE_HERE, frame.orientation, Quaternion::read);
  return rec.finish(frame);
}

}  // namespace tallowmere::dat::graphics
