#include "tallowmere/common/math.hpp"

#include "tallowmere/common/record.hpp"

namespace tallowmere::common {

ParseResult<Vector3> Vector3::read(Cursor& cursor) {
  Vector3 v;
  Record rec(cursor, "Vector3");
  rec.field("x", TALLOWMERE_HERE, v.x, read_f32);
  rec.field("y", TALLOWMERE_HERE, v.y, read_f32);
  rec.field("z", TALLOWMERE_HERE, v.z, read_f32);
  return rec.finish(v);
}

ParseResult<Quaternion> Quaternion::read(Cursor& cursor) {
  Quaternion q;
  Record rec(cursor, "Quaternion");
  rec.field("w", TALLOWMERE_HERE, q.w, read_f32);
  rec.field("x", TALLOWMERE_HERE, q.x, read_f32);
  rec.field("y", TALLOWMERE_HERE, q.y, read_f32);
  rec.field("z", TALLOWMERE_HERE, q.z, read_f32);
  return rec.finish(q);
}

ParseResult<Plane> Plane::read(Cursor& cursor) {
  Plane p;
  Record rec(cursor, "Plane");
  rec.field("normal", TALLOWMERE_HERE, p.normal, Vector3::read);
  rec.field("d", TALLOWMERE_HERE, p.d, read_f32);
  return rec.finish(p);
}

ParseResult<Sphere> Sphere::read(Cursor& cursor) {
  Sphere s;
  Record rec(cursor, "Sphere");
  rec.field("center", TALLOWMERE_HERE, s.center, Vector3::read);
  rec.field("radius", TALLOWMERE_HERE, s.radius, read_f32);
  return rec.finish(s);
}

}  // namespace tallowmere::common
