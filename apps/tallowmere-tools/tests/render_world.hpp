// A small hand-made world for the render tests: 3 x 3 landblocks (0x7F7F to 0x8181) over
// a rolling height field, one scene of two objects on every vertex, a few vertices whose
// exclusion bits keep scenery off, and one building in the middle landblock 0x8080.
//
// Everything that a test checks in a picture is fixed here: the building's footprint
// (an unturned 32 x 20 box centred at (60, 130)), the marked vertices, the objects'
// meshes (boxes centred on the object, so an object's position lies inside its box).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::testing {

struct RenderWorld {
  static constexpr uint16_t kMiddle = 0x8080;
  static constexpr uint32_t kScene = 0x12000001;
  static constexpr uint32_t kSquare = 0x01000010;  // 6 x 6
  static constexpr uint32_t kPlank = 0x01000011;   // 8 x 3
  static constexpr uint32_t kBuilding = 0x01000100;
  // The building's footprint: min x, min y, max x, max y.
  static constexpr float kBuildingBox[4] = {44, 120, 76, 140};
  // Vertices of the middle landblock whose exclusion bits are set, (vx, vy).
  static constexpr int kExcluded[][2] = {{1, 1}, {5, 6}, {6, 6}};
};

inline std::vector<uint8_t> render_world_box(uint32_t id, float half_x, float half_y) {
  const std::vector<common::Vector3> corners = {
      {-half_x, -half_y, 0}, {half_x, -half_y, 0}, {half_x, half_y, 0}, {-half_x, half_y, 0}};
  return writer::encode_gfx_obj(writer::gfx_obj_from_positions(id, corners));
}

// Writes client_portal.dat and client_cell_1.dat into `dir`; false when either fails.
inline bool write_render_world(const std::string& dir) {
  using R = RenderWorld;
  dat::file_type::Region region;
  region.id = 0x13000000;
  for (int i = 0; i < 256; ++i) region.height_table[i] = static_cast<float>(i) * 1.5f;
  region.terrain.terrain_types.push_back({"grass", 0, {0}});
  region.scene = dat::file_type::SceneDesc{{dat::file_type::SceneType{0, {R::kScene}}}};
  region.part_mask = writer::region_part_mask(region);

  dat::file_type::Scene scene;
  scene.id = R::kScene;
  dat::file_type::ObjectDesc square;
  square.obj_id = R::kSquare;
  square.base_frame.origin = {6, 6, 0};
  square.probability = 2;  // always passes the probability roll
  square.random_offset_x = square.random_offset_y = 10;
  square.min_scale = square.max_scale = 1;
  dat::file_type::ObjectDesc plank = square;
  plank.obj_id = R::kPlank;
  plank.base_frame.origin = {16, 12, 0};
  plank.probability = 0.8f;
  plank.random_offset_x = plank.random_offset_y = 6;
  plank.min_scale = 0.8f;
  plank.max_scale = 1.3f;
  plank.max_rotation = 90;
  scene.objects = {square, plank};

  writer::ArchiveWriter portal;
  portal.add_file(region.id, writer::encode_region(region));
  portal.add_file(R::kScene, writer::encode_scene(scene));
  portal.add_file(R::kSquare, render_world_box(R::kSquare, 3, 3));
  portal.add_file(R::kPlank, render_world_box(R::kPlank, 4, 1.5f));
  portal.add_file(R::kBuilding, render_world_box(R::kBuilding, 16, 10));

  writer::ArchiveWriter cell(256);
  for (unsigned lx = 0x7F; lx <= 0x81; ++lx) {
    for (unsigned ly = 0x7F; ly <= 0x81; ++ly) {
      const auto id = static_cast<uint16_t>(lx << 8 | ly);
      dat::landblock::CellLandblock lb;
      lb.id = static_cast<uint32_t>(id) << 16 | 0xFFFF;
      for (unsigned vx = 0; vx < 9; ++vx) {
        for (unsigned vy = 0; vy < 9; ++vy) {
          // Heights continue across landblock edges: a function of global vertex position.
          const int gx = static_cast<int>(lx * 8 + vx) % 24 - 12;
          const int gy = static_cast<int>(ly * 8 + vy) % 20 - 10;
          lb.height.push_back(static_cast<uint8_t>(40 + gx * gx + gy * gy));
          uint16_t word = 0;  // terrain type 0, scene index 0
          if (id == R::kMiddle) {
            for (const auto& v : R::kExcluded) {
              if (v[0] == static_cast<int>(vx) && v[1] == static_cast<int>(vy)) word |= 1;
            }
          }
          lb.terrain.push_back(word);
        }
      }
      cell.add_file(lb.id, writer::encode_cell_landblock(lb));
      if (id == R::kMiddle) {
        dat::landblock::LandblockInfo info;
        info.id = static_cast<uint32_t>(id) << 16 | 0xFFFE;
        dat::landblock::BuildInfo building;
        building.model_id = R::kBuilding;
        building.frame.origin = {60, 130, 0};
        info.buildings.push_back(building);
        cell.add_file(info.id, writer::encode_landblock_info(info));
      }
    }
  }
  return portal.finish_to(dir + "/client_portal.dat").has_value() &&
         cell.finish_to(dir + "/client_cell_1.dat").has_value();
}

}  // namespace tallowmere::testing
