// ErrorReport: the one error value the tool's stages return, and its printed form.
//
// A report is a chain: the outermost message and its causes, outermost first. A stage
// wraps the error of a library call in a short context ("open portal", "parse Region"),
// which becomes the message; the library error's text is the first cause and its own
// cause, if any, the second. Errors the tool raises itself have no causes.
#pragma once

#include <string>
#include <vector>

#include "tallowmere/common/io_error.hpp"
#include "tallowmere/common/parse_error.hpp"
#include "tallowmere/dat/error.hpp"

namespace tallowmere::ringproof {

struct ErrorReport {
  std::string message;
  std::vector<std::string> causes;  // outermost first; each may span several lines
};

// An error of the tool itself: `message` alone.
ErrorReport plain_error(std::string message);

// `context` caused by an archive error: causes are the error's text, then the text of
// its own cause when it has one.
ErrorReport with_context(std::string context, const dat::DatError& error);

// `context` caused by a parse error, whose text (a framed block for a backtrace) is
// the only cause.
ErrorReport with_context(std::string context, const common::ParseError& error);

// `context` caused by an I/O error of the operating system.
ErrorReport with_context(std::string context, const common::IoError& error);

// The report as written to standard error, final line feed included:
//
//   Error: <message>
//
//   Caused by:
//       <the only cause>            (one cause: indented by 4)
//       0: <first cause>            (several: the number right-aligned in 5, then ": ")
//          <its next line>          (continuation lines: indented by 7, or 4 when unnumbered)
std::string format_report(const ErrorReport& report);

}  // namespace tallowmere::ringproof
