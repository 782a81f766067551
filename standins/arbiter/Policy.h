#pragma once
// The arbiter's rule policy: parsing and first-match evaluation.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace arbiter {

struct Rule {
  bool allow = false;
  std::u16string pattern;
};

// Parses policy text; nullopt when a line is neither blank, a comment nor a rule.
std::optional<std::vector<Rule>> ParsePolicy(std::string_view text);

// '*' matches any run, '?' one character; letters compare case-insensitively (ASCII and
// Latin-1, the range a drive-letter path in the "C" locale can hold).
bool MatchesPattern(std::u16string_view pattern, std::u16string_view path);

// First matching rule decides; no match allows.
bool Allows(const std::vector<Rule>& rules, std::u16string_view path);

}  // namespace arbiter
