// run commands that change geometry and tones.
#include "cli/cli.h"

namespace qirm::cli {

bool RunDisplayCommand(Workspace& /*ws*/, const std::string& /*name*/, const std::string& /*value*/,
                       bool /*has_value*/, Status& /*status*/) {
  return false;
}

}  // namespace qirm::cli
