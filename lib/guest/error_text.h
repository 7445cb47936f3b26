// Turning a failure code into the message of the library's string forms.
#pragma once

#include <string>

#include "mivo/error.h"

namespace mivo {

// For the string forms: on failure (`ok` false) assigns the code's message.
// `code` by reference: read after the call that fills it, whatever order the
// arguments are evaluated in.
inline bool ReportMessage(bool ok, const ErrorCode& code, std::string& error) {
  if (!ok) error = ErrorMessage(code);
  return ok;
}

inline bool Fail(ErrorCode& code, ErrorCode cause) {
  code = cause;
  return false;
}

}  // namespace mivo
