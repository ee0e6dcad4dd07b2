#include "report.hpp"

#include <cstdio>
#include <utility>

namespace tallowmere::ringproof {

ErrorReport plain_error(std::string message) {
  return ErrorReport{std::move(message), {}};
}

ErrorReport with_context(std::string context, const dat::DatError& error) {
  ErrorReport report{std::move(context), {error.text()}};
  if (auto cause = error.cause_text()) report.causes.push_back(std::move(*cause));
  return report;
}

ErrorReport with_context(std::string context, const common::ParseError& error) {
  return ErrorReport{std::move(context), {error.text()}};
}

ErrorReport with_context(std::string context, const common::IoError& error) {
  return ErrorReport{std::move(context), {error.text()}};
}

std::string format_report(const ErrorReport& report) {
  std::string out = "Error: " + report.message;
  if (!report.causes.empty()) {
    out += "\n\nCaused by:";
    const bool numbered = report.causes.size() > 1;
    const std::string indent(numbered ? 7 : 4, ' ');
    for (size_t k = 0; k < report.causes.size(); ++k) {
      out += '\n';
      if (numbered) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%5zu: ", k);
        out += prefix;
      } else {
        out += indent;
      }
      // Every line after the first gets the indent, empty lines included.
      for (char c : report.causes[k]) {
        out += c;
        if (c == '\n') out += indent;
      }
    }
  }
  out += '\n';
  return out;
}

}  // namespace tallowmere::ringproof
