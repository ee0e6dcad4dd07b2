// Filler files: payloads of the file types the tools never parse (animations, textures,
// sounds, tables, ...). Their sizes and content give the portal archive the real mix of
// small and large, compressible and noisy files. Each starts with its own id.
#include <algorithm>
#include <cmath>
#include <string>

#include "generators.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::worldgen {

namespace {

// Rows of small related numbers: ids, counts, indices and a few floats.
void table(writer::ByteWriter& w, Rng& rng, size_t size) {
  uint32_t base = rng.u32() & 0xFFFF0000u;
  while (w.size() + 4 <= size) {
    const uint32_t r = rng.below(10);
    if (r < 4) {
      w.u32(base | rng.below(256));
    } else if (r < 7) {
      w.u32(rng.below(64));
    } else if (r < 9) {
      w.f32(rng.uniform(-2, 2));
    } else {
      base = rng.u32() & 0xFFFF0000u;
      w.u32(0);
    }
  }
}

// A width, a height and a format, then pixels in bands of gradient, pattern and noise.
void image(writer::ByteWriter& w, Rng& rng, size_t size) {
  const uint32_t width = 1u << rng.between(4, 8);
  w.u32(width).u32(static_cast<uint32_t>(std::max<size_t>(1, (size - w.size()) / width / 4)));
  w.u32(rng.chance(0.5) ? 0x14 : 0x15);
  uint32_t pixel = 0;
  while (w.size() < size) {
    const uint32_t band = rng.below(3);
    for (uint32_t x = 0; x < width && w.size() < size; ++x) {
      if (band == 0) {
        w.u8(static_cast<uint8_t>(pixel++ / 4));
      } else if (band == 1) {
        w.u8(static_cast<uint8_t>((x / 8) % 2 ? 0xC0 : 0x30));
      } else {
        w.u8(static_cast<uint8_t>(rng.u32()));
      }
    }
  }
}

// 16-bit samples: a tone with noise, which compresses poorly, as sound does.
void wave(writer::ByteWriter& w, Rng& rng, size_t size) {
  const float step = rng.uniform(0.01f, 0.3f);
  w.u32(rng.chance(0.5) ? 22050 : 44100).u16(1).u16(16);
  for (float phase = 0; w.size() + 2 <= size; phase += step) {
    const float sample = 9000 * std::sin(phase) + rng.uniform(-2000, 2000);
    w.i16(static_cast<int16_t>(sample));
  }
}

// Words of made-up text separated by spaces, in length-prefixed lines.
void text(writer::ByteWriter& w, Rng& rng, size_t size) {
  static constexpr const char* kWords[] = {"the",     "stone", "road",  "north", "of",    "a",
                                           "village", "lies",  "under", "old",   "trees", "and"};
  while (w.size() + 64 <= size) {
    std::string line;
    for (int k = rng.between(3, 12); k > 0; --k) {
      line += kWords[rng.below(12)];
      line += ' ';
    }
    w.pstring16(line);
  }
}

}  // namespace

std::vector<uint8_t> filler_payload(const Catalog& catalog, const FillerType& type, uint32_t id) {
  Rng rng = Rng::stream(catalog.seed, Stream::Filler, id);
  const size_t size = type.min_size == type.max_size
                          ? type.min_size
                          : rng.log_uniform(type.min_size, type.max_size);
  writer::ByteWriter w;
  w.u32(id);
  switch (type.style) {
    case FillerStyle::Table:
      table(w, rng, size);
      break;
    case FillerStyle::Image:
      image(w, rng, size);
      break;
    case FillerStyle::Wave:
      wave(w, rng, size);
      break;
    case FillerStyle::Text:
      text(w, rng, size);
      break;
  }
  w.zeros(size > w.size() ? size - w.size() : 0);
  return w.take();
}

}  // namespace tallowmere::worldgen
