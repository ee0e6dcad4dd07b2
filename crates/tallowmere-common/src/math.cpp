#include "tallowmere/common/math.hpp"

#include "tallowmere/common/record.hpp"

namespace tallowmere::common {

template <class A, class Self>
void Vector3::describe(A& a, Self& v) {
  a.declarative("Vector3");
  a.field("x", v.x);
  a.field("y", v.y);
  a.field("z", v.z);
}

template <class A, class Self>
void Quaternion::describe(A& a, Self& q) {
  a.declarative("Quaternion");
  a.field("w", q.w);
  a.field("x", q.x);
  a.field("y", q.y);
  a.field("z", q.z);
}

template <class A, class Self>
void Plane::describe(A& a, Self& p) {
  a.declarative("Plane");
  a.field("normal", p.normal);
  a.field("d", p.d);
}

template <class A, class Self>
void Sphere::describe(A& a, Self& s) {
  a.declarative("Sphere");
  a.field("center", s.center);
  a.field("radius", s.radius);
}

TALLOWMERE_DESCRIBED(Vector3);
TALLOWMERE_DESCRIBED(Quaternion);
TALLOWMERE_DESCRIBED(Plane);
TALLOWMERE_DESCRIBED(Sphere);

}  // namespace tallowmere::common
