#include "PolicyChoice.h"

#include <cstdlib>

#include "Arbiter.h"
#include "Defaults.h"

namespace {

bool LoadFile(const std::string& file, const std::string& from, std::string* error) {
  char reason[1024] = "";
  if (ArbiterLoadPolicyFile(file.c_str(), reason, sizeof reason) >= 0) return true;
  *error = from + ": " + reason;
  return false;
}

}  // namespace

bool ChoosePolicy(const std::string& policyFile, PolicyInUse* used, std::string* error) {
  const char* environment = std::getenv("ARBITER_POLICY_FILE");
  if (!policyFile.empty()) {
    if (!LoadFile(policyFile, "--policy", error)) return false;
    used->source = "from --policy " + policyFile;
    if (environment != nullptr) used->source += " (ARBITER_POLICY_FILE is ignored)";
  } else if (environment != nullptr) {
    if (!LoadFile(environment, "ARBITER_POLICY_FILE", error)) return false;
    used->source = std::string("from ARBITER_POLICY_FILE=") + environment;
  } else {
    ArbiterSetPolicy(kDefaultPolicy);
    used->source = "built in (no --policy, ARBITER_POLICY_FILE not set)";
  }
  used->rules.clear();
  char text[1024];
  for (int index = 0, line; (line = ArbiterRule(index, text, sizeof text)) >= 0; ++index)
    used->rules.push_back({line, text});
  return true;
}
