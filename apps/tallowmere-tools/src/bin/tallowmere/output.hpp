// Output helpers shared by the subcommands: writing to the standard streams, a JSON
// writer whose floats read back to the same bits, and the progress line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere::tool {

void write_stdout(std::string_view text);
void write_stderr(std::string_view text);

// Whether standard error is a terminal (progress lines are drawn only there).
bool stderr_is_terminal();
bool stdout_is_terminal();

// Colour on standard output: only on a terminal, and never with NO_COLOR set.
bool stdout_colour();
// `text` in the colour of the SGR code `sgr` ("31" red, "32" green, "1" bold) when `on`.
std::string paint(std::string_view text, std::string_view sgr, bool on);

// The shortest decimal that reads back to exactly `value` in single precision.
std::string shortest_float(float value);
// The same in double precision.
std::string shortest_double(double value);

// Compact JSON, built member by member. Floats are written shortest round-trip in their
// own width; NaN and the infinities, which JSON lacks, as the strings "NaN", "inf" and
// "-inf". Strings are escaped as JSON requires; other bytes pass through unchanged.
class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(uint64_t number);
  JsonWriter& value(int64_t number);
  JsonWriter& value(float number);
  JsonWriter& value(double number);
  JsonWriter& value(bool flag);
  // A number already formatted as JSON.
  JsonWriter& number(std::string_view text);
  JsonWriter& null();

  const std::string& text() const { return out_; }

 private:
  void separate();
  std::string out_;
  std::vector<bool> first_;  // per open container: no member written yet
  bool after_key_ = false;
};

// "\r" + a status line, redrawn at most ten times a second, on standard error and only
// when it is a terminal. Safe to call from several threads.
class ProgressLine {
 public:
  // `what` names the units counted ("landblocks").
  ProgressLine(std::string label, std::string what, size_t total);
  ~ProgressLine();

  // Another unit is done.
  void advance();
  // Clears the line (it is never left on the screen).
  void finish();

 private:
  void draw(size_t done);

  const bool enabled_;
  const std::string label_;
  const std::string what_;
  const size_t total_;
  const std::chrono::steady_clock::time_point start_;
  std::atomic<size_t> done_{0};
  std::mutex mutex_;
  std::chrono::steady_clock::time_point last_draw_;
  bool drawn_ = false;
};

}  // namespace tallowmere::tool
