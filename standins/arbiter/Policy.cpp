#include "Policy.h"

namespace arbiter {
namespace {

char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// Policy files are Latin-1 text: each byte is the character of the same value.
std::u16string Widen(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::optional<std::vector<Rule>> ParsePolicy(std::string_view text) {
  std::vector<Rule> rules;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const auto gap = line.find_first_of(" \t");
    if (gap == std::string_view::npos) return std::nullopt;
    const std::string_view verb = line.substr(0, gap);
    const std::string_view pattern = Trim(line.substr(gap));
    if ((verb != "allow" && verb != "deny") || pattern.empty()) return std::nullopt;
    rules.push_back({verb == "allow", Widen(pattern)});
  }
  return rules;
}

bool MatchesPattern(std::u16string_view pattern, std::u16string_view path) {
  // Iterative wildcard match with one backtrack point (the last '*').
  std::size_t p = 0, s = 0, starP = std::u16string_view::npos, starS = 0;
  while (s < path.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starS = s;
    } else if (p < pattern.size() && (pattern[p] == u'?' || Fold(pattern[p]) == Fold(path[s]))) {
      ++p;
      ++s;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      s = ++starS;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool Allows(const std::vector<Rule>& rules, std::u16string_view path) {
  for (const Rule& rule : rules) {
    if (MatchesPattern(rule.pattern, path)) return rule.allow;
  }
  return true;
}

}  // namespace arbiter
