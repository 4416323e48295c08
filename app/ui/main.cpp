// SPDX-License-Identifier: GPL-3.0-or-later
#include <QGuiApplication>
#include <QIcon>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/program_info.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TMainForm.h"

namespace {

void PrintUsage() {
  std::fputs(
      "usage: qirm [FILE...]\n"
      "       qirm --version\n"
      "       qirm --help\n"
      "\n"
      "Starts QIRM, the image processor for astronomical photographs, and opens\n"
      "each FILE in a window of its own. The reader follows the extension:\n"
      ".bmp; .fit .fts .fits; .jpg .jpeg; .pgm .ppm.\n"
      "The toolkit's own options (-platform NAME, -style NAME, ...) are taken too.\n",
      stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the application object exists, so that they work
  // without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs(qirm::VersionReport("qirm", {{"Qt", qVersion()}}).c_str(), stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage();
      return 0;
    }
  }
  TApplication app(argc, argv);
  TApplication::InstallJapaneseTranslation(app);
  // The installed desktop entry and icon stand for the windows in task bars
  // and window frames (Wayland matches windows to entries by this name).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.qirm.qirm"));
  if (QIcon::hasThemeIcon(QStringLiteral("qirm"))) {
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("qirm")));
  }
  int result = 1;
  try {
    CreateForms();
    MainForm->show();
    QStringList paths = app.arguments();
    paths.removeFirst();  // the program itself
    MainForm->OpenFiles(paths);
    result = app.exec();
  } catch (const std::exception& e) {
    // Start-up failed: say why and end.
    TApplication::ShowException(TApplication::ExceptionText(e));
  } catch (...) {
    TApplication::ShowException(QStringLiteral("Unknown error"));
  }
  DestroyForms();
  return result;
}
