// SPDX-License-Identifier: GPL-3.0-or-later
// The Japanese texts of the photometry engine's messages, for the boxes the
// dialogs show, and the controls both photometry dialogs share.
#pragma once

#include <QString>
#include <string>

class QComboBox;
class QLineEdit;
class QWidget;

QString PhotometryMessage(const std::string& message);

// The number typed into `edit`; false with the message naming `what`.
bool ReadNumber(const QLineEdit* edit, const QString& what, double& out, QString& error);
// 赤 / 緑 / 青: the channel a colour window is measured in (green first).
QComboBox* NewChannelBox(QWidget* parent);
