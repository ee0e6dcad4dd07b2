// Graphics records: the Frame used by setup models and scenes, and (with graphics
// objects) the vertex array, vertices and polygons.
//
// Frame, 28 bytes: origin (Vector3), then orientation (Quaternion, w x y z).
#pragma once

#include "tallowmere/common/math.hpp"

namespace tallowmere::dat::graphics {

using common::Cursor;
using common::ParseResult;

struct Frame {
  common::Vector3 origin;
  common::Quaternion orientation;
  // Declarative record; frames name 'origin' and 'orientation' in Frame.
  static ParseResult<Frame> read(Cursor& cursor);
};

}  // namespace tallowmere::dat::graphics
