// Everything a tri-colour composition consumes, as one value. The dialogs
// are its view: they build it from their controls when a composition starts
// (and the settings file reads and writes it); the pipeline never reads a
// control.
#pragma once

#include <string>
#include <vector>

namespace qirm {

struct AdvancedFlags {
  bool AntiBloomingOn = false;  // CheckBox7
  int BloomThreshold = 60000;   // Edit1
  int BloomThickness = 2;       // Edit2
  int BloomLength = 5;          // Edit3
  bool Rotate180R = false;      // CheckBox1..3
  bool Rotate180G = false;
  bool Rotate180B = false;
  bool FlattenR = false;  // CheckBox4..6
  bool FlattenG = false;
  bool FlattenB = false;
};

struct CompositionSettings {
  std::vector<std::string> RedFiles;    // ListBox1
  std::vector<std::string> GreenFiles;  // ListBox2
  std::vector<std::string> BlueFiles;   // ListBox3
  std::vector<std::string> DarkFiles;   // ListBox4
  std::vector<std::string> FlatFiles;   // ListBox5
  int StarMode = 0;                     // 0 none, 1 one star, 2 two stars
  int Star1X = 0;
  int Star1Y = 0;
  int Star2X = 0;
  int Star2Y = 0;
  int Delta1 = 10;        // half-size of the search box of star 1
  int Delta2 = 10;        // half-size of the search box of star 2
  int DetectMethod = 1;   // 0 centroid, 1 peak, 2 none
  int BackgroundX = 0;
  int BackgroundY = 0;
  int BackgroundLevel = 10;
  double WhiteR = 1.0;
  double WhiteG = 1.0;
  double WhiteB = 1.0;
  double WhiteK = 1.0;
  AdvancedFlags Advanced;
};

}  // namespace qirm
