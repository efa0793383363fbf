// The automation error numbers a plug-in reports to its host, with the
// descriptions a host shows for them.
#pragma once

#include <cstdint>

namespace lumenstage {

struct AutomationErrorKind {
  std::int32_t number;
  const char* description;
};

inline constexpr AutomationErrorKind kErrInvalidProcedureCall{5, "Invalid procedure call or argument"};
inline constexpr AutomationErrorKind kErrOverflow{6, "Overflow"};
inline constexpr AutomationErrorKind kErrOutOfMemory{7, "Out of memory"};
inline constexpr AutomationErrorKind kErrSubscriptOutOfRange{9, "Subscript out of range"};
inline constexpr AutomationErrorKind kErrTypeMismatch{13, "Type mismatch"};
inline constexpr AutomationErrorKind kErrInternal{51, "Internal error"};
inline constexpr AutomationErrorKind kErrPathFileAccess{75, "Path/File access error"};
inline constexpr AutomationErrorKind kErrNotAvailable{445, "Object doesn't support this action"};

}  // namespace lumenstage
