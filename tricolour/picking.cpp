#include "tricolour/picking.h"

namespace qirm {

Status OpenFrameForPicking(const std::string& path, ImageDocument&, MainTexts*) {
  return Status::Error(path + ": picking is not available in this version yet");
}

}  // namespace qirm
