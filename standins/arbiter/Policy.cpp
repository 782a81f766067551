#include "Policy.h"

#include "FileNameCase.h"

namespace arbiter {
namespace {

// The line without its comment: '#' at the start or after a blank or tab.
std::u16string_view WithoutComment(std::u16string_view line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'#' && (i == 0 || line[i - 1] == u' ' || line[i - 1] == u'\t'))
      return line.substr(0, i);
  }
  return line;
}

}  // namespace

bool ParsePolicy(const std::vector<textfile::Line>& lines, std::string_view name,
                 std::vector<Rule>* rules, std::string* error) {
  std::vector<Rule> parsed;
  for (const textfile::Line& line : lines) {
    const std::u16string_view rule = textfile::Trim(WithoutComment(line.text));
    if (rule.empty()) continue;
    const std::u16string_view verb = rule.substr(0, rule.find_first_of(u" \t"));
    const std::u16string_view pattern = textfile::Trim(rule.substr(verb.size()));
    const std::string where = std::string(name) + ":" + std::to_string(line.number) + ": ";
    if (verb != u"allow" && verb != u"deny") {
      *error = where + "'" + textfile::ToUtf8(verb) +
               "' is not a rule: a rule is \"allow PATTERN\" or \"deny PATTERN\"";
      return false;
    }
    if (pattern.empty()) {
      *error = where + "'" + textfile::ToUtf8(verb) + "' needs a pattern, e.g. " +
               textfile::ToUtf8(verb) + " C:\\Users\\*\\Downloads\\*";
      return false;
    }
    parsed.push_back({verb == u"allow", std::u16string(pattern), line.number,
                      textfile::ToUtf8(verb) + " " + textfile::ToUtf8(pattern)});
  }
  *rules = std::move(parsed);
  return true;
}

bool MatchesPattern(std::u16string_view pattern, std::u16string_view path) {
  // Iterative wildcard match with one backtrack point (the last '*').
  std::size_t p = 0, s = 0, starP = std::u16string_view::npos, starS = 0;
  while (s < path.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starS = s;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || SameIgnoringCase(pattern[p], path[s]))) {
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

const Rule* DecidingRule(const std::vector<Rule>& rules, std::u16string_view path) {
  for (const Rule& rule : rules) {
    if (MatchesPattern(rule.pattern, path)) return &rule;
  }
  return nullptr;
}

}  // namespace arbiter
