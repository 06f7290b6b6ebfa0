#include <QApplication>
#include <QLocale>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include "Form/AppTitle.h"
#include "MainWindow.h"
#include "Platform/InstanceClaim.h"
#include "QuitOnSignal.h"
#include "RegionalSettings.h"
#include "Form/StartOptions.h"

namespace {

// The display the window goes to: one program per user and display.
std::string InstanceScope() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* value = std::getenv(name)) return value;
  return {};
}

}  // namespace

int main(int argc, char* argv[]) {
  // Without a display Qt would abort with a toolkit message; say what is missing instead.
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fprintf(stderr, "Kestrine needs a graphical desktop: no DISPLAY or WAYLAND_DISPLAY is set.\n");
    return 1;
  }
  // A later start brings the first one's window back and ends, settings untouched.
  Platform::TInstanceClaim claim(InstanceScope());
  if (!claim.First() && claim.CallFirst()) return 0;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
  // Asked to end by a signal, the program ends as when its window is closed, saving the settings.
  const TQuitOnSignal quitOnSignal;

  auto* window = new TMainWindow(StartOptions(FormatSettingsFromLocale(QLocale::system()), UsEnglishFormatSettings()));
  // An ending desktop session may not wait for the program to end: save when it asks.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, window,
                   [window](QSessionManager&) { window->Form().SessionEnding(); });
  if (claim.CallHandle() >= 0) {
    auto* calls = new QSocketNotifier(claim.CallHandle(), QSocketNotifier::Read, window);
    QObject::connect(calls, &QSocketNotifier::activated, window, [window, &claim] {
      if (claim.TakeCalls()) window->Form().AnotherStart();
    });
  }
  window->show();
  const int result = QApplication::exec();
  delete window;
  return result;
}
