#pragma once
// Letter case the way Windows compares file names: one UTF-16 unit at a time, by its simple
// upper-case mapping with no locale's rules (so the Turkish dotless i is not an I), and never
// mapping a character outside ASCII onto one inside it.

namespace arbiter {

bool SameIgnoringCase(char16_t a, char16_t b);

}  // namespace arbiter
