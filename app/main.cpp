#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "AppTitle.h"
#include "Form1.h"

int main(int argc, char* argv[]) {
  // Without a display Qt would abort with a toolkit message; say what is missing instead.
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fprintf(stderr, "Kestrine needs a graphical desktop: no DISPLAY or WAYLAND_DISPLAY is set.\n");
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
  auto* form = new TForm1;
  form->show();
  const int result = QApplication::exec();
  delete form;
  return result;
}
