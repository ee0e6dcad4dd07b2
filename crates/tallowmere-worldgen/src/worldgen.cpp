// The world generator's driver: decides the catalog and the region, then streams the
// portal archive (files in a shuffled order, as an archive that grew over time has
// them) and the cell archive (landblock by landblock) to their files.
#include "tallowmere/worldgen/worldgen.hpp"

#include <algorithm>

#include "catalog.hpp"
#include "generators.hpp"
#include "tallowmere/dat_writer/archive_stream.hpp"
#include "tallowmere/dat_writer/compressor.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::worldgen {

namespace {

// One archive being written: decides per file whether it is stored compressed, which
// unused flag bits and which timestamp it carries and whether its chain is scattered,
// each from the file's own stream, and counts what it stored.
class Sink {
 public:
  [[nodiscard]] static Expected<Sink, WriteError> create(const std::string& path,
                                                         uint32_t block_size, uint64_t seed,
                                                         uint32_t archive, double share) {
    auto stream = writer::ArchiveStream::create(path, block_size);
    if (!stream) return make_unexpected(WriteError{path, stream.error()});
    return Sink(path, std::move(*stream), seed, archive, share);
  }

  writer::ArchiveStream& stream() { return stream_; }

  [[nodiscard]] Expected<void, WriteError> add(uint32_t id, const std::vector<uint8_t>& payload) {
    Rng rng = Rng::stream(seed_, Stream::Store, uint64_t{archive_} << 32 | id);
    dat::DatFileEntry entry;
    entry.id = id;
    entry.bit_flags = rng.chance(0.3) ? 0x00020000u : 0;
    entry.timestamp = 1100000000u + rng.below(200000000u);
    entry.version = rng.count_between(1, 4);
    const bool compress = rng.chance(share_);
    const uint64_t scatter = rng.chance(0.2) ? rng.next() | 1 : 0;
    std::vector<uint8_t> packed;
    if (compress && payload.size() >= 16) {
      packed = writer::compress_lrs(payload);
      if (packed.size() < payload.size()) {
        entry.bit_flags |= 1;
      } else {
        packed.clear();
      }
    }
    const std::vector<uint8_t>& stored = entry.bit_flags & 1 ? packed : payload;
    auto added = stream_.add_stored(entry, stored, scatter);
    if (!added) return make_unexpected(WriteError{path_, added.error()});
    summary_.files += 1;
    summary_.compressed += entry.bit_flags & 1;
    summary_.multi_block += stored.size() > stream_.block_size() - 4 ? 1u : 0u;
    return {};
  }

  [[nodiscard]] Expected<ArchiveSummary, WriteError> finish(uint32_t free_blocks) {
    auto freed = stream_.add_free_blocks(free_blocks);
    if (!freed) return make_unexpected(WriteError{path_, freed.error()});
    auto done = stream_.finish();
    if (!done) return make_unexpected(WriteError{path_, done.error()});
    summary_.bytes = stream_.size();
    return summary_;
  }

 private:
  Sink(std::string path, writer::ArchiveStream stream, uint64_t seed, uint32_t archive,
       double share)
      : path_(std::move(path)),
        stream_(std::move(stream)),
        seed_(seed),
        archive_(archive),
        share_(share) {}

  std::string path_;
  writer::ArchiveStream stream_;
  uint64_t seed_;
  uint32_t archive_;
  double share_;
  ArchiveSummary summary_;
};

void fill_header(dat::DatHeader& h, uint32_t archive, uint64_t seed) {
  h.magic = 0x57474E31;
  h.dataset = archive;
  h.subset = archive - 1;
  h.master_map_id = 0x0E000000u | archive;
  h.engine_version = 0x16;
  h.game_version = 0x2710 + static_cast<uint32_t>(seed % 1000);
  const std::string_view version = "worldgen";
  h.version_string.assign(16, 0);
  std::copy(version.begin(), version.end(), h.version_string.begin());
  h.version_minor = 1;
}

constexpr uint32_t kPortal = 1;
constexpr uint32_t kCell = 2;

enum class JobKind : uint8_t { Region, GfxObj, Setup, Scene, Filler };
struct Job {
  JobKind kind;
  uint32_t group;  // filler group
  uint32_t index;  // position in its list
  uint32_t rank;   // setup models: position among the intact ones
};

[[nodiscard]] Expected<ArchiveSummary, WriteError> write_portal(
    const Options& options, const Catalog& catalog, const dat::file_type::Region& region,
    const std::string& path) {
  auto sink_or = Sink::create(path, options.portal_block_size, catalog.seed, kPortal,
                              options.compressed_share);
  if (!sink_or) return make_unexpected(sink_or.error());
  Sink& sink = *sink_or;
  fill_header(sink.stream().header(), kPortal, catalog.seed);

  std::vector<Job> jobs{{JobKind::Region, 0, 0, 0}};
  for (uint32_t i = 0; i < catalog.gfx_objects.size(); ++i)
    jobs.push_back({JobKind::GfxObj, 0, i, 0});
  uint32_t rank = 0;
  for (uint32_t i = 0; i < catalog.setup_models.size(); ++i) {
    const bool intact = catalog.setup_models[i].status == Status::Intact;
    jobs.push_back({JobKind::Setup, 0, i, intact ? rank++ : i});
  }
  for (uint32_t i = 0; i < catalog.scenes.size(); ++i) jobs.push_back({JobKind::Scene, 0, i, 0});
  for (uint32_t g = 0; g < catalog.fillers.size(); ++g) {
    for (uint32_t i = 0; i < catalog.fillers[g].ids.size(); ++i) {
      jobs.push_back({JobKind::Filler, g, i, 0});
    }
  }
  Rng order = Rng::stream(catalog.seed, Stream::Catalog, 1);
  order.shuffle(jobs);

  for (const Job& job : jobs) {
    const Model* model = nullptr;
    std::vector<uint8_t> payload;
    uint32_t id = 0;
    switch (job.kind) {
      case JobKind::Region:
        id = region.id;
        payload = writer::encode_region(region);
        break;
      case JobKind::GfxObj:
        model = &catalog.gfx_objects[job.index];
        if (model->status != Status::Missing) payload = gfx_obj_payload(catalog, *model);
        break;
      case JobKind::Setup:
        model = &catalog.setup_models[job.index];
        if (model->status != Status::Missing) {
          payload = setup_model_payload(catalog, *model, job.rank);
        }
        break;
      case JobKind::Scene:
        model = &catalog.scenes[job.index];
        if (model->status != Status::Missing) payload = scene_payload(catalog, *model);
        break;
      case JobKind::Filler: {
        const FillerGroup& group = catalog.fillers[job.group];
        id = group.ids[job.index];
        payload = filler_payload(catalog, group.type, id);
        break;
      }
    }
    if (model != nullptr) {
      if (model->status == Status::Missing) continue;
      id = model->id;
      if (model->status == Status::Truncated) {
        Rng cut = Rng::stream(catalog.seed, Stream::Damage, id);
        payload = truncate(std::move(payload), cut);
      }
    }
    auto added = sink.add(id, payload);
    if (!added) return make_unexpected(added.error());
  }
  return sink.finish(Rng::stream(catalog.seed, Stream::Damage, kPortal).count_between(8, 40));
}

// Per-landblock damage flags.
constexpr uint8_t kCellMissing = 1, kCellTruncated = 2, kInfoMissing = 4, kInfoTruncated = 8;

// Chooses the damaged landblocks among the core landblocks: a few of each kind, never
// two kinds on one landblock.
std::vector<uint8_t> choose_damage(const Catalog& catalog) {
  const Shape& s = catalog.shape;
  std::vector<uint16_t> core;
  for (uint32_t x = s.core_x_min; x <= s.core_x_max; ++x) {
    for (uint32_t y = s.core_y_min; y <= s.core_y_max; ++y)
      core.push_back(static_cast<uint16_t>(x << 8 | y));
  }
  Rng rng = Rng::stream(catalog.seed, Stream::Damage, kCell);
  rng.shuffle(core);
  std::vector<uint8_t> flags(65536, 0);
  size_t next = 0;
  const auto mark = [&](uint8_t flag, double share) {
    const size_t n =
        std::max<size_t>(1, static_cast<size_t>(share * static_cast<double>(core.size())));
    for (size_t k = 0; k < n && next < core.size(); ++k) flags[core[next++]] = flag;
  };
  mark(kCellMissing, 0.004);
  mark(kCellTruncated, 0.004);
  mark(kInfoMissing, 0.03);
  mark(kInfoTruncated, 0.01);
  return flags;
}

[[nodiscard]] Expected<ArchiveSummary, WriteError> write_cell(const Options& options,
                                                              const Catalog& catalog,
                                                              const dat::file_type::Region& region,
                                                              const std::vector<uint8_t>& damage,
                                                              const std::string& path) {
  auto sink_or =
      Sink::create(path, options.cell_block_size, catalog.seed, kCell, options.compressed_share);
  if (!sink_or) return make_unexpected(sink_or.error());
  Sink& sink = *sink_or;
  fill_header(sink.stream().header(), kCell, catalog.seed);

  const Shape& s = catalog.shape;
  const uint32_t total = (s.x_max - s.x_min + 1u) * (s.y_max - s.y_min + 1u);
  const uint32_t step = std::max<uint32_t>(1, total / 100);
  uint32_t done = 0;
  for (uint32_t x = s.x_min; x <= s.x_max; ++x) {
    for (uint32_t y = s.y_min; y <= s.y_max; ++y) {
      const auto landblock = static_cast<uint16_t>(x << 8 | y);
      const uint32_t base = uint32_t{landblock} << 16;
      const uint8_t flags = damage[landblock];
      Rng cut = Rng::stream(catalog.seed, Stream::Damage, base);
      const auto cell = make_cell_landblock(catalog, region, landblock);
      auto contents = make_landblock_contents(catalog, region, cell, landblock);
      if (!(flags & kCellMissing)) {
        auto payload = writer::encode_cell_landblock(cell);
        // A cell landblock parses without its last (pad) byte: cut at least two.
        if (flags & kCellTruncated) payload = truncate(std::move(payload), cut, 2);
        auto added = sink.add(cell.id, payload);
        if (!added) return make_unexpected(added.error());
      }
      if (!(flags & kInfoMissing)) {
        auto payload = writer::encode_landblock_info(contents.info);
        // The pad of an odd-count portal at the end may be missing: cut at least three.
        if (flags & kInfoTruncated) payload = truncate(std::move(payload), cut, 3);
        auto added = sink.add(contents.info.id, payload);
        if (!added) return make_unexpected(added.error());
      }
      for (uint32_t k = 0; k < contents.interior_cells.size(); ++k) {
        auto added = sink.add(base | (0x0100 + k), contents.interior_cells[k]);
        if (!added) return make_unexpected(added.error());
      }
      if (options.progress && (++done % step == 0 || done == total)) options.progress(done, total);
    }
  }
  return sink.finish(Rng::stream(catalog.seed, Stream::Damage, kCell).count_between(16, 64));
}

Manifest make_manifest(const Catalog& catalog, const std::vector<uint8_t>& damage) {
  Manifest manifest;
  for (const auto* models : {&catalog.gfx_objects, &catalog.setup_models, &catalog.scenes}) {
    for (const Model& m : *models) {
      if (m.status == Status::Missing) manifest.portal.push_back({m.id, Damage::Missing});
      if (m.status == Status::Truncated) manifest.portal.push_back({m.id, Damage::Truncated});
    }
  }
  for (uint32_t landblock = 0; landblock < damage.size(); ++landblock) {
    const uint8_t flags = damage[landblock];
    const uint32_t base = landblock << 16;
    if (flags & kCellMissing) manifest.cell.push_back({base | 0xFFFF, Damage::Missing});
    if (flags & kCellTruncated) manifest.cell.push_back({base | 0xFFFF, Damage::Truncated});
    if (flags & kInfoMissing) manifest.cell.push_back({base | 0xFFFE, Damage::Missing});
    if (flags & kInfoTruncated) manifest.cell.push_back({base | 0xFFFE, Damage::Truncated});
  }
  const auto by_id = [](const DamagedFile& a, const DamagedFile& b) { return a.id < b.id; };
  std::sort(manifest.portal.begin(), manifest.portal.end(), by_id);
  std::sort(manifest.cell.begin(), manifest.cell.end(), by_id);
  return manifest;
}

std::optional<Damage> find(const std::vector<DamagedFile>& files, uint32_t id) {
  auto it = std::lower_bound(files.begin(), files.end(), id,
                             [](const DamagedFile& f, uint32_t key) { return f.id < key; });
  if (it == files.end() || it->id != id) return std::nullopt;
  return it->damage;
}

}  // namespace

std::optional<Scale> parse_scale(std::string_view text) {
  if (text == "demo") return Scale::Demo;
  if (text == "full") return Scale::Full;
  if (text == "tiny") return Scale::Tiny;
  return std::nullopt;
}

std::string_view scale_name(Scale scale) {
  switch (scale) {
    case Scale::Full:
      return "full";
    case Scale::Tiny:
      return "tiny";
    case Scale::Demo:
      break;
  }
  return "demo";
}

std::optional<Damage> Manifest::portal_damage(uint32_t id) const {
  return find(portal, id);
}

std::optional<Damage> Manifest::cell_damage(uint32_t id) const {
  return find(cell, id);
}

Expected<WorldSummary, WriteError> generate_world(const Options& options,
                                                  const std::string& portal_path,
                                                  const std::string& cell_path) {
  const Catalog catalog = make_catalog(options.seed, options.scale);
  const dat::file_type::Region region = make_region(catalog);
  const std::vector<uint8_t> damage = choose_damage(catalog);

  WorldSummary summary;
  summary.manifest = make_manifest(catalog, damage);
  const Shape& s = catalog.shape;
  summary.landblocks = (s.x_max - s.x_min + 1u) * (s.y_max - s.y_min + 1u);

  auto portal = write_portal(options, catalog, region, portal_path);
  if (!portal) return make_unexpected(portal.error());
  summary.portal = *portal;
  auto cell = write_cell(options, catalog, region, damage, cell_path);
  if (!cell) return make_unexpected(cell.error());
  summary.cell = *cell;
  return summary;
}

}  // namespace tallowmere::worldgen
