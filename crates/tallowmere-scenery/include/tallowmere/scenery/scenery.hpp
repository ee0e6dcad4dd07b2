// The scenery pipeline over a portal and cell archive pair, in one include: opening the
// pair with its region, scene and mesh caches, building footprints, baking lists of
// landblocks into placement lines, writing placement files and comparing two bakes.
//
// The library prints nothing and never exits: every failure comes back as a value.
#pragma once

#include "tallowmere/scenery/caches.hpp"
#include "tallowmere/scenery/compare.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/parallel_bake.hpp"
#include "tallowmere/scenery/placement_files.hpp"
#include "tallowmere/scenery/placement_line.hpp"
#include "tallowmere/scenery/shared_caches.hpp"
#include "tallowmere/scenery/world.hpp"
