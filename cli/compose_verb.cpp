#include "cli/cli.h"

namespace qirm::cli {

int ComposeVerb(const std::vector<std::string>& /*args*/) {
  return Fail("the verb 'compose' is not available in this version");
}

}  // namespace qirm::cli
