#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("QIRM");
  window.resize(925, 712);
  window.show();
  return app.exec();
}
