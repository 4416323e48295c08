// The Japanese texts of the photometry engine's messages, for the boxes the
// dialogs show.
#pragma once

#include <QString>
#include <string>

QString PhotometryMessage(const std::string& message);
