#include "output.hpp"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tallowmere::tool {

void write_stdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}
void write_stderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

bool stderr_is_terminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

bool stdout_is_terminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

bool stdout_colour() {
  return stdout_is_terminal() && std::getenv("NO_COLOR") == nullptr;
}

std::string paint(std::string_view text, std::string_view sgr, bool on) {
  if (!on) return std::string(text);
  return "\033[" + std::string(sgr) + "m" + std::string(text) + "\033[0m";
}

std::string shortest_float(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string shortest_double(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

void JsonWriter::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

JsonWriter& JsonWriter::begin_object() {
  separate();
  out_ += '{';
  first_.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::end_object() {
  out_ += '}';
  first_.pop_back();
  return *this;
}
JsonWriter& JsonWriter::begin_array() {
  separate();
  out_ += '[';
  first_.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::end_array() {
  out_ += ']';
  first_.pop_back();
  return *this;
}
JsonWriter& JsonWriter::key(std::string_view name) {
  value(name);
  out_ += ':';
  after_key_ = true;
  return *this;
}
JsonWriter& JsonWriter::value(std::string_view text) {
  separate();
  out_ += '"';
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out_ += escaped;
    } else {
      out_ += c;
    }
  }
  out_ += '"';
  return *this;
}
JsonWriter& JsonWriter::value(uint64_t number) {
  separate();
  out_ += std::to_string(number);
  return *this;
}
JsonWriter& JsonWriter::value(int64_t number) {
  separate();
  out_ += std::to_string(number);
  return *this;
}
JsonWriter& JsonWriter::value(double number) {
  if (!std::isfinite(number)) return value(std::string_view(shortest_double(number)));
  separate();
  out_ += shortest_double(number);
  return *this;
}
JsonWriter& JsonWriter::value(float number) {
  if (!std::isfinite(number)) return value(std::string_view(shortest_float(number)));
  separate();
  out_ += shortest_float(number);
  return *this;
}
JsonWriter& JsonWriter::value(bool flag) {
  separate();
  out_ += flag ? "true" : "false";
  return *this;
}
JsonWriter& JsonWriter::number(std::string_view text) {
  separate();
  out_ += text;
  return *this;
}
JsonWriter& JsonWriter::null() {
  separate();
  out_ += "null";
  return *this;
}

ProgressLine::ProgressLine(std::string label, std::string what, size_t total)
    : enabled_(stderr_is_terminal()),
      label_(std::move(label)),
      what_(std::move(what)),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

ProgressLine::~ProgressLine() {
  finish();
}

void ProgressLine::advance() {
  const size_t done = done_.fetch_add(1, std::memory_order_relaxed) + 1;
  if (!enabled_) return;
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock) return;  // another thread is drawing
  const auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < std::chrono::milliseconds(100) && done != total_) return;
  last_draw_ = now;
  draw(done);
}

void ProgressLine::draw(size_t done) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  char line[256];
  if (rate > 0 && done < total_) {
    const double eta = static_cast<double>(total_ - done) / rate;
    std::snprintf(line, sizeof line, "\r\033[K%s: %zu/%zu %s, %.1f/s, ETA %.0f s", label_.c_str(),
                  done, total_, what_.c_str(), rate, eta);
  } else {
    std::snprintf(line, sizeof line, "\r\033[K%s: %zu/%zu %s, %.1f/s", label_.c_str(), done, total_,
                  what_.c_str(), rate);
  }
  write_stderr(line);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::finish() {
  std::lock_guard lock(mutex_);
  if (drawn_) write_stderr("\r\033[K");
  drawn_ = false;
}

}  // namespace tallowmere::tool
