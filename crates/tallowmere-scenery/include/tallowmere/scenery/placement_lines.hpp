// A landblock's placement lines, held as the text of its placement file: every line
// followed by a line feed, one after another in one string, with the end of each line
// kept beside it. A bake's lines are formatted straight into that text, so that a
// landblock costs a few allocations rather than one per line, and its file is written
// from it without another copy.
//
// Lines never hold a line feed of their own (placement lines cannot).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere::scenery {

class PlacementLines {
 public:
  PlacementLines() = default;
  PlacementLines(std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines) push_back(line);
  }
  // Lines kept one string each, as a file's text is split.
  explicit PlacementLines(std::span<const std::string> lines) {
    for (const std::string& line : lines) push_back(line);
  }

  void push_back(std::string_view line) {
    text_.append(line);
    text_ += '\n';
    ends_.push_back(text_.size() - 1);
  }

  // Appends one line that `write` puts into the text: write(first) writes at most
  // `max_chars` characters from `first` and returns their end.
  template <class Write>
  void append_written(size_t max_chars, const Write& write) {
    // Growing the text for the longest line reallocates geometrically, as a push does.
    const size_t start = text_.size();
    size_t end = start;
    text_.resize_and_overwrite(start + max_chars + 1, [&](char* text, size_t) {
      end = static_cast<size_t>(write(text + start) - text);
      text[end] = '\n';
      return end + 1;
    });
    ends_.push_back(end);
  }

  void reserve(size_t lines, size_t chars) {
    ends_.reserve(lines);
    text_.reserve(chars);
  }

  [[nodiscard]] size_t size() const { return ends_.size(); }
  [[nodiscard]] bool empty() const { return ends_.empty(); }

  // Line `i` without its line feed.
  [[nodiscard]] std::string_view operator[](size_t i) const {
    const size_t start = i == 0 ? 0 : ends_[i - 1] + 1;
    return std::string_view(text_).substr(start, ends_[i] - start);
  }

  // Every line followed by a line feed: the content of the landblock's placement file.
  [[nodiscard]] const std::string& text() const { return text_; }
  // The same text as the bytes to write.
  [[nodiscard]] std::span<const uint8_t> bytes() const {
    return {reinterpret_cast<const uint8_t*>(text_.data()), text_.size()};
  }

  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    Iterator(const PlacementLines* lines, size_t at) : lines_(lines), at_(at) {}
    std::string_view operator*() const { return (*lines_)[at_]; }
    std::string_view operator[](difference_type n) const {
      return (*lines_)[at_ + static_cast<size_t>(n)];
    }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++at_;
      return old;
    }
    Iterator& operator--() {
      --at_;
      return *this;
    }
    Iterator operator--(int) {
      Iterator old = *this;
      --at_;
      return old;
    }
    Iterator& operator+=(difference_type n) {
      at_ += static_cast<size_t>(n);
      return *this;
    }
    Iterator& operator-=(difference_type n) {
      at_ -= static_cast<size_t>(n);
      return *this;
    }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.at_ <=> b.at_; }

   private:
    const PlacementLines* lines_ = nullptr;
    size_t at_ = 0;
  };

  [[nodiscard]] Iterator begin() const { return {this, 0}; }
  [[nodiscard]] Iterator end() const { return {this, ends_.size()}; }

  // The same lines in the same order: the same text, as no line holds a feed.
  friend bool operator==(const PlacementLines& a, const PlacementLines& b) {
    return a.text_ == b.text_;
  }

 private:
  std::string text_;
  std::vector<size_t> ends_;  // the position of each line's line feed
};

}  // namespace tallowmere::scenery
