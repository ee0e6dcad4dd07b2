// FlatMap: a keyed collection held in two flat arrays, for the keyed parts of parsed
// records (a graphics object's vertices and polygons, a setup model's locations).
//
// The entries sit in one vector in the order their keys first arrived; inserting a key
// that is already there replaces its value in place, so a repeated key keeps the later
// value. Lookups go through an open-addressing table of entry positions, hashed with a
// seed of the map's own (see seeded_map.hpp). A map reserved for its final size holds
// everything in two allocations, however many entries it has; a cleared map keeps its
// capacity for the next fill.
//
// Iteration walks the entries in the order of first insertion, starting at a position
// drawn from the map's seed and wrapping around; emptying a map draws a new seed. Like a
// SeededMap's, the order therefore differs between fills, so that anything depending
// on it shows up in a determinism run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tallowmere/common/seeded_map.hpp"

namespace tallowmere::common {

template <class K, class V>
class FlatMap {
 public:
  using key_type = K;
  using mapped_type = V;
  using value_type = std::pair<K, V>;

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = FlatMap::value_type;
    using difference_type = std::ptrdiff_t;
    using pointer = const value_type*;
    using reference = const value_type&;

    const_iterator() = default;
    reference operator*() const {
      size_t at = start_ + step_;
      if (at >= size_) at -= size_;
      return data_[at];
    }
    pointer operator->() const { return &**this; }
    const_iterator& operator++() {
      ++step_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++step_;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.step_ == b.step_;
    }

   private:
    friend class FlatMap;
    const_iterator(const value_type* data, size_t size, size_t start, size_t step)
        : data_(data), size_(size), start_(start), step_(step) {}
    const value_type* data_ = nullptr;
    size_t size_ = 0;
    size_t start_ = 0;  // the entry visited first
    size_t step_ = 0;   // entries visited so far; size_ at the end
  };
  using iterator = const_iterator;

  FlatMap() = default;
  // A copy holds its entries and a lookup table sized for them alone, whatever the
  // capacity of the source.
  FlatMap(const FlatMap& other) : entries_(other.entries_), hash_(other.hash_) {
    rehash(slots_for(entries_.size()));
  }
  FlatMap& operator=(const FlatMap& other) {
    if (this != &other) *this = FlatMap(other);
    return *this;
  }
  FlatMap(FlatMap&&) noexcept = default;
  FlatMap& operator=(FlatMap&&) noexcept = default;
  ~FlatMap() = default;

  [[nodiscard]] size_t size() const { return entries_.size(); }
  [[nodiscard]] bool empty() const { return entries_.empty(); }
  [[nodiscard]] const_iterator begin() const { return at_step(0); }
  [[nodiscard]] const_iterator end() const { return at_step(entries_.size()); }

  // Room for `n` entries without growing either array.
  void reserve(size_t n) {
    entries_.reserve(n);
    if (slots_.size() < slots_for(n)) rehash(slots_for(n));
  }

  // Removes every entry and keeps the capacity; the next fill iterates in another order.
  void clear() {
    entries_.clear();
    std::fill(slots_.begin(), slots_.end(), 0u);
    hash_ = SeededHash<K>();
  }

  // Stores `value` under `key`: a new entry at the end, or in place of the earlier value.
  V& insert_or_assign(const K& key, V value) {
    if (slots_.size() < slots_for(entries_.size() + 1)) {
      rehash(std::max(slots_for(entries_.size() + 1), slots_.size() * 2));
    }
    size_t slot = home(key);
    while (slots_[slot] != 0) {
      value_type& entry = entries_[slots_[slot] - 1];
      if (entry.first == key) {
        entry.second = std::move(value);
        return entry.second;
      }
      slot = (slot + 1) & (slots_.size() - 1);
    }
    entries_.emplace_back(key, std::move(value));
    slots_[slot] = static_cast<uint32_t>(entries_.size());
    return entries_.back().second;
  }

  [[nodiscard]] const_iterator find(const K& key) const {
    if (slots_.empty()) return end();
    for (size_t slot = home(key); slots_[slot] != 0; slot = (slot + 1) & (slots_.size() - 1)) {
      const size_t at = slots_[slot] - 1;
      if (entries_[at].first == key) {
        const size_t start = first_visited();
        return at_step(at >= start ? at - start : at + entries_.size() - start);
      }
    }
    return end();
  }
  // The value stored under `key`, or null: a lookup without an iterator, for callers
  // that only probe.
  [[nodiscard]] const V* get(const K& key) const {
    if (slots_.empty()) return nullptr;
    for (size_t slot = home(key); slots_[slot] != 0; slot = (slot + 1) & (slots_.size() - 1)) {
      const value_type& entry = entries_[slots_[slot] - 1];
      if (entry.first == key) return &entry.second;
    }
    return nullptr;
  }
  [[nodiscard]] bool contains(const K& key) const { return get(key) != nullptr; }
  [[nodiscard]] size_t count(const K& key) const { return contains(key) ? 1 : 0; }
  [[nodiscard]] const V& at(const K& key) const {
    const auto found = find(key);
    if (found == end()) throw std::out_of_range("FlatMap::at: no such key");
    return found->second;
  }

  // Equal when both hold the same keys with equal values, in whatever order.
  friend bool operator==(const FlatMap& a, const FlatMap& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [key, value] : a) {
      const auto found = b.find(key);
      if (found == b.end() || !(found->second == value)) return false;
    }
    return true;
  }

 private:
  // At most half the slots are taken, so probes stay short; a power of two.
  static size_t slots_for(size_t n) {
    if (n == 0) return 0;
    size_t slots = 8;
    while (slots < n * 2) slots *= 2;
    return slots;
  }

  size_t first_visited() const {
    return entries_.empty() ? 0 : static_cast<size_t>(hash_.seed % entries_.size());
  }
  const_iterator at_step(size_t step) const {
    return const_iterator(entries_.data(), entries_.size(), first_visited(), step);
  }

  size_t home(const K& key) const { return hash_(key) & (slots_.size() - 1); }

  void rehash(size_t slots) {
    slots_.assign(slots, 0u);
    for (size_t i = 0; i < entries_.size(); ++i) {
      size_t slot = home(entries_[i].first);
      while (slots_[slot] != 0) slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = static_cast<uint32_t>(i + 1);
    }
  }

  std::vector<value_type> entries_;
  std::vector<uint32_t> slots_;  // entry position + 1; 0 for an empty slot
  SeededHash<K> hash_;
};

}  // namespace tallowmere::common
