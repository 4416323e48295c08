// run commands of the filters.
#include "cli/cli.h"

namespace qirm::cli {

bool RunFilterCommand(Workspace& /*ws*/, const std::string& /*name*/, const std::string& /*value*/,
                      bool /*has_value*/, Status& /*status*/) {
  return false;
}

}  // namespace qirm::cli
