#include "cli/cli.h"

namespace qirm::cli {

int CompositeVerb(const std::vector<std::string>& /*args*/) {
  return Fail("the verb 'composite' is not available in this version");
}

}  // namespace qirm::cli
