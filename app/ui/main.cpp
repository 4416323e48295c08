#include <QStringList>
#include <exception>

#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TMainForm.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
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
