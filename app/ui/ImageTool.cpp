// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/ImageTool.h"

namespace {
ImageTool* g_tool = nullptr;
}

ImageTool* CurrentImageTool() { return g_tool; }
void SetImageTool(ImageTool* tool) { g_tool = tool; }
void ReleaseImageTool(ImageTool* tool) {
  if (g_tool == tool) g_tool = nullptr;
}
