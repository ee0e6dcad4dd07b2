#include "tallowmere/common/parse_error.hpp"

#include <cstdio>

namespace tallowmere::common {
namespace {

constexpr const char* kBold = "\x1b[1m";
constexpr const char* kNormal = "\x1b[22m";

void append_repeated(std::string& out, const char* piece, int count) {
  for (int i = 0; i < count; ++i) out += piece;
}

std::string frame_message(const BacktraceFrame& frame) {
  if (const auto* located = std::get_if<LocatedFrame>(&frame)) return located->message;
  if (const auto* message = std::get_if<MessageFrame>(&frame)) return message->message;
  return root_text(std::get<ErrorFrame>(frame).error);
}

}  // namespace

std::string root_text(const ParseErrorRoot& root) {
  if (const auto* io = std::get_if<IoError>(&root)) return io->message;
  const auto& check = std::get<FailedCheck>(root);
  char position[24];
  std::snprintf(position, sizeof position, "%llx", static_cast<unsigned long long>(check.position));
  return check.message + " at 0x" + position;
}

std::string field_context(const char* field, const char* record) {
  std::string out = "While parsing field '";
  out += field;
  out += "' in ";
  out += record;
  return out;
}

std::string ParseError::text() const {
  if (frames_.empty()) return root_text(root_);

  std::string out = "\n \u257a";
  append_repeated(out, "\u2501", 20);
  out += "\u2505 Backtrace \u2505";
  append_repeated(out, "\u2501", 20);
  out += "\u2578\n\n";

  for (size_t i = 0; i < frames_.size(); ++i) {
    std::string message = frame_message(frames_[i]);
    if (i == 0) {
      // Frame 0 names the root error first; the whole is then printed like any
      // frame's message, so its escape sequences appear twice in a row.
      message = std::string(kBold) + "Error: " + root_text(root_) + kNormal + "\n" +
                std::string(11, ' ') + kBold + message + kNormal;
    }
    out += ' ';
    out += std::to_string(i);
    out += ": ";
    out += kBold;
    out += message;
    out += kNormal;
    if (const auto* located = std::get_if<LocatedFrame>(&frames_[i])) {
      out += "\n     at ";
      out += located->location.file;
      out += ':';
      out += std::to_string(located->location.line);
    }
    out += '\n';
  }

  out += "\n \u257a";
  append_repeated(out, "\u2501", 53);
  out += "\u2578\n\n";
  return out;
}

ParseError ParseError::after_failed_rewind(ParseError cause, IoError rewind_error) {
  ParseError result(std::move(rewind_error));
  result.frames_.reserve(cause.frames_.size() + 2);
  result.frames_.push_back(MessageFrame{"rewinding after a failure"});
  result.frames_.push_back(ErrorFrame{std::move(cause.root_)});
  for (auto& frame : cause.frames_) result.frames_.push_back(std::move(frame));
  return result;
}

ParseError with_context(ParseError error, BacktraceFrame frame) {
  error.add_frame(std::move(frame));
  return error;
}

}  // namespace tallowmere::common
