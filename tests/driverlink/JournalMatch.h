#pragma once
// Compares winsim's call journal with expected lines in which handles are named: "{M}" in an
// expected line matches any hexadecimal handle value, and the same name must stand for the same
// value everywhere (and different names different values). Returns an empty text on a match,
// otherwise what differs.
#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

inline std::string JournalMismatch(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected) {
  std::map<std::string, std::string> bound;
  const std::regex placeholder(R"(\{([A-Za-z0-9]+)\})");
  const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    const std::string want = i < expected.size() ? expected[i] : "(nothing)";
    const std::string got = i < actual.size() ? actual[i] : "(nothing)";
    std::string pattern;
    std::vector<std::string> names;
    auto last = want.cbegin();
    for (std::sregex_iterator it(want.begin(), want.end(), placeholder), end; it != end; ++it) {
      pattern += std::regex_replace(std::string(last, (*it)[0].first), special, R"(\$&)");
      pattern += "(0x[0-9a-f]+)";
      names.push_back((*it)[1].str());
      last = (*it)[0].second;
    }
    pattern += std::regex_replace(std::string(last, want.cend()), special, R"(\$&)");
    std::smatch match;
    if (!std::regex_match(got, match, std::regex(pattern))) {
      return "line " + std::to_string(i) + ": expected \"" + want + "\", got \"" + got + "\"";
    }
    for (std::size_t n = 0; n < names.size(); ++n) {
      const std::string value = match[n + 1].str();
      const auto [it, fresh] = bound.emplace(names[n], value);
      if (!fresh && it->second != value) {
        return "line " + std::to_string(i) + ": {" + names[n] + "} is " + value + ", earlier " +
               it->second;
      }
      for (const auto& [name, other] : bound) {
        if (name != names[n] && other == value) {
          return "line " + std::to_string(i) + ": {" + names[n] + "} and {" + name +
                 "} are the same handle " + value;
        }
      }
    }
  }
  return "";
}
