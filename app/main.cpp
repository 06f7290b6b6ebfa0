#include <QApplication>
#include <QSessionManager>
#include <cstdio>
#include <cstdlib>

#include "AppTitle.h"
#include "Form1.h"
#include "QuitOnSignal.h"

int main(int argc, char* argv[]) {
  // Without a display Qt would abort with a toolkit message; say what is missing instead.
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fprintf(stderr, "Kestrine needs a graphical desktop: no DISPLAY or WAYLAND_DISPLAY is set.\n");
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
  // Asked to end by a signal, the program ends as when its window is closed, saving the settings.
  const TQuitOnSignal quitOnSignal;
  auto* form = new TForm1;
  // An ending desktop session may not wait for the program to end: save when it asks.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, form,
                   [form](QSessionManager&) { form->SaveSettings(); });
  form->show();
  const int result = QApplication::exec();
  delete form;
  return result;
}
