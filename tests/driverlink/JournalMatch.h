#pragma once
// Compares winsim's call journal with expected lines in which handles are named: "{M}" in an
// expected line matches any hexadecimal handle value ("0x" and hex digits), and the same name
// must stand for the same value everywhere (and different names for different values). Returns
// an empty text on a match, otherwise what differs.
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace journal_match {

// The names and values of the placeholders of `want` as they match `got`; nullopt if the line
// does not match.
inline std::optional<std::vector<std::pair<std::string, std::string>>> MatchLine(
    const std::string& want, const std::string& got) {
  std::vector<std::pair<std::string, std::string>> bindings;
  std::size_t w = 0;
  std::size_t g = 0;
  while (w < want.size()) {
    const std::size_t open = want.find('{', w);
    const std::size_t close = open == std::string::npos ? open : want.find('}', open);
    const std::size_t literalEnd = close == std::string::npos ? want.size() : open;
    const std::string literal = want.substr(w, literalEnd - w);
    if (got.compare(g, literal.size(), literal) != 0) return std::nullopt;
    g += literal.size();
    w = literalEnd;
    if (w == want.size()) break;
    if (got.compare(g, 2, "0x") != 0) return std::nullopt;
    std::size_t end = g + 2;
    while (end < got.size() &&
           std::string("0123456789abcdef").find(got[end]) != std::string::npos) {
      ++end;
    }
    if (end == g + 2) return std::nullopt;
    bindings.emplace_back(want.substr(open + 1, close - open - 1), got.substr(g, end - g));
    g = end;
    w = close + 1;
  }
  if (g != got.size()) return std::nullopt;
  return bindings;
}

}  // namespace journal_match

inline std::string JournalMismatch(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected) {
  std::map<std::string, std::string> bound;
  for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    const std::string want = i < expected.size() ? expected[i] : "(nothing)";
    const std::string got = i < actual.size() ? actual[i] : "(nothing)";
    const auto bindings = journal_match::MatchLine(want, got);
    const std::string where = "line " + std::to_string(i) + ": ";
    if (!bindings) return where + "expected \"" + want + "\", got \"" + got + "\"";
    for (const auto& [name, value] : *bindings) {
      const auto [it, fresh] = bound.emplace(name, value);
      if (!fresh && it->second != value) {
        return where + "{" + name + "} is " + value + ", earlier " + it->second;
      }
      for (const auto& [otherName, other] : bound) {
        if (otherName != name && other == value) {
          return where + "{" + name + "} and {" + otherName + "} are the same handle " + value;
        }
      }
    }
  }
  return "";
}
