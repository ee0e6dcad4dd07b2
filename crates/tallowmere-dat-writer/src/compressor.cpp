#include "tallowmere/dat_writer/compressor.hpp"

#include <algorithm>

namespace tallowmere::writer {

namespace {

constexpr size_t kWindow = 4095;
constexpr size_t kMinMatch = 2;
constexpr size_t kMaxMatch = 17;
// Candidates examined per position; enough for payload-sized inputs.
constexpr int kMaxChain = 64;
constexpr uint32_t kNone = UINT32_MAX;

// Hash of the two bytes at `p` into `bits` bits.
uint32_t hash2(const uint8_t* p, int bits) {
  uint32_t pair = static_cast<uint32_t>(p[0]) | uint32_t{p[1]} << 8;
  return (pair * 2654435761u) >> (32 - bits);
}

// Collects items eight to a flag byte, most significant bit first.
class TokenSink {
 public:
  explicit TokenSink(std::vector<uint8_t>& out) : out_(out) {}

  void literal(uint8_t byte) {
    next_item(false);
    out_.push_back(byte);
  }
  void reference(size_t distance, size_t length) {
    next_item(true);
    out_.push_back(static_cast<uint8_t>(distance & 0xFF));
    out_.push_back(static_cast<uint8_t>((distance >> 8) << 4 | (length - kMinMatch)));
  }

 private:
  void next_item(bool is_reference) {
    if (mask_ == 0) {
      flag_index_ = out_.size();
      out_.push_back(0);
      mask_ = 0x80;
    }
    if (is_reference) out_[flag_index_] |= mask_;
    mask_ = static_cast<uint8_t>(mask_ >> 1);
  }

  std::vector<uint8_t>& out_;
  size_t flag_index_ = 0;
  uint8_t mask_ = 0;
};

}  // namespace

std::vector<uint8_t> compress_lrs(std::span<const uint8_t> data) {
  const size_t n = data.size();
  std::vector<uint8_t> out;
  out.reserve(4 + n + n / 8 + 1);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));

  // head[h]: latest position whose two bytes hash to h; prev[p % window]: the position
  // before p with the same hash. Positions further back than the window are dropped.
  // The table grows with the input up to 2^16 heads; small payloads stay cheap.
  int bits = 8;
  while (bits < 16 && (size_t{1} << bits) < n) ++bits;
  std::vector<uint32_t> head(size_t{1} << bits, kNone);
  std::vector<uint32_t> prev(std::min(n, kWindow + 1), kNone);
  auto insert = [&](size_t p) {
    if (p + 1 >= n) return;
    uint32_t h = hash2(&data[p], bits);
    prev[p % prev.size()] = head[h];
    head[h] = static_cast<uint32_t>(p);
  };

  TokenSink sink(out);
  size_t p = 0;
  while (p < n) {
    size_t best_length = 0;
    size_t best_distance = 0;
    if (p + kMinMatch <= n) {
      const size_t limit = std::min(kMaxMatch, n - p);
      uint32_t candidate = head[hash2(&data[p], bits)];
      for (int chain = 0; chain < kMaxChain && candidate != kNone; ++chain) {
        size_t distance = p - candidate;
        if (distance == 0 || distance > kWindow) break;
        size_t length = 0;
        // The source may run into the bytes being produced: the decoder copies one
        // byte at a time, so an overlapping match repeats the recent bytes.
        while (length < limit && data[candidate + length] == data[p + length]) ++length;
        if (length > best_length) {
          best_length = length;
          best_distance = distance;
          if (length == limit) break;
        }
        uint32_t earlier = prev[candidate % prev.size()];
        if (earlier == kNone || earlier >= candidate) break;
        candidate = earlier;
      }
    }
    if (best_length >= kMinMatch) {
      sink.reference(best_distance, best_length);
      for (size_t k = 0; k < best_length; ++k) insert(p + k);
      p += best_length;
    } else {
      sink.literal(data[p]);
      insert(p);
      ++p;
    }
  }
  return out;
}

}  // namespace tallowmere::writer
