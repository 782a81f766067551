#pragma once
// The arbiter's rule policy: parsing and first-match evaluation.
//
// One rule a line, "allow PATTERN" or "deny PATTERN"; blank lines are skipped and '#' starts a
// comment at the start of a line or after a blank or tab (so "C:\a#b.exe" keeps its '#').
// PATTERN runs to the end of the line or the comment, blanks inside it included.
#include <string>
#include <string_view>
#include <vector>

#include "TextFile.h"

namespace arbiter {

struct Rule {
  bool allow = false;
  std::u16string pattern;
  int line = 0;      // where the rule was written
  std::string text;  // the rule as written, without its comment (UTF-8)
};

// Parses the lines of a policy named `name`. On a line that is not a rule, returns false with
// *error as "NAME:LINE: reason" and leaves *rules unchanged.
bool ParsePolicy(const std::vector<textfile::Line>& lines, std::string_view name,
                 std::vector<Rule>* rules, std::string* error);

// '*' matches any run of characters, '?' one; other characters compare the way Windows compares
// file names: each UTF-16 unit by its simple upper-case mapping, with no locale's rules.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view path);

// The first rule whose pattern matches the path, or null: no rule matches and the path may run.
const Rule* DecidingRule(const std::vector<Rule>& rules, std::u16string_view path);

}  // namespace arbiter
