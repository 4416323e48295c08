#include "cli/cli.h"

namespace qirm::cli {

int SpectrumVerb(const std::vector<std::string>& /*args*/) {
  return Fail("the verb 'spectrum' is not available in this version");
}

}  // namespace qirm::cli
