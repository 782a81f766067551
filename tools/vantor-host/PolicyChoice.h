#pragma once
// Which rules the scanner stand-in judges by: --policy, else ARBITER_POLICY_FILE, else the
// built-in policy.
#include <string>
#include <vector>

struct PolicyInUse {
  std::string source;  // where the rules came from, for people
  struct Rule {
    int line;
    std::string text;
  };
  std::vector<Rule> rules;
};

// Installs the chosen rules in the scanner stand-in. On a file that cannot be used, returns
// false with *error naming the option or variable, the file and the line.
bool ChoosePolicy(const std::string& policyFile, PolicyInUse* used, std::string* error);
