#include "tallowmere/bake/seeds.hpp"

#include "convert.hpp"

namespace tallowmere::bake {

size_t scene_index(size_t n, uint32_t hash) {
  const uint64_t idx = detail::saturating_u64(static_cast<double>(n) * unit(hash));
  return idx >= n ? 0 : static_cast<size_t>(idx);
}

}  // namespace tallowmere::bake
