// veltrano: the program's window. It reads no command-line arguments of its own (Qt
// takes its usual ones, such as -platform) and no file at start.
#include "ui/TForm1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Veltrano"));
  QApplication::setDesktopFileName(QStringLiteral("io.github.veltrano.Veltrano"));
  veltrano::TForm1 window;
  window.show();
  return QApplication::exec();
}
