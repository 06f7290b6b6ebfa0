// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QApplication>
#include <QLocale>
#include <QSessionManager>
#include <QSocketNotifier>

#include "Form/AppTitle.h"
#include "Form/StartOptions.h"
#include "MainWindow.h"
#include "Platform/InstanceClaim.h"
#include "QuitOnSignal.h"
#include "RegionalSettings.h"

namespace {

// The display the window goes to: one program per user and display.
std::string InstanceScope() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* value = std::getenv(name)) return value;
  return {};
}

const char* const UsageText =
    "Usage: kestrine [--help | --version]\n"
    "\n"
    "Shows a time server's time beside the computer's and sets the computer's\n"
    "clock from it: when asked, once after start-up, or every N minutes.\n"
    "Everything is chosen in the window, and kept in\n"
    "$XDG_CONFIG_HOME/Kestrine/settings.ini (~/.config by default).\n"
    "A second start brings the first one's window back.\n"
    "\n"
    "  --help     show this text and end\n"
    "  --version  show the version and the licence, and end\n"
    "\n"
    "Qt's own options (-platform, -display, -session...) are taken as well.\n"
    "More in kestrine(1).\n";

const char* const VersionText = "Kestrine " KESTRINE_VERSION
                                "\n"
                                "Copyright (c) 2026 The Kestrine authors.\n"
                                "MIT License: you may use, change and pass it on; it comes with no warranty.\n";

// --help and --version answer without a desktop; 0 for neither.
const char* InformationAsked(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return UsageText;
    if (std::strcmp(argv[i], "--version") == 0) return VersionText;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const char* text = InformationAsked(argc, argv)) {
    std::fputs(text, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // Without a display Qt would abort with a toolkit message; say what is missing instead.
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fprintf(stderr, "Kestrine needs a graphical desktop: no DISPLAY or WAYLAND_DISPLAY is set.\n");
    return 1;
  }
  // Only Qt knows its own options: with arguments, Qt starts first and takes
  // them out of argv, and whatever is left is a mistake, even for a later start.
  std::unique_ptr<QApplication> application;
  if (argc > 1) {
    application = std::make_unique<QApplication>(argc, argv);
    if (argc > 1) {
      std::fprintf(stderr, "kestrine: unknown argument '%s'\nTry 'kestrine --help'.\n", argv[1]);
      return 2;
    }
  }
  // A later start brings the first one's window back and ends, settings untouched.
  Platform::TInstanceClaim claim(InstanceScope());
  if (!claim.First() && claim.CallFirst()) return 0;
  if (!application) application = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
  // Asked to end by a signal, the program ends as when its window is closed, saving the settings.
  const TQuitOnSignal quitOnSignal;

  auto* window = new TMainWindow(StartOptions(FormatSettingsFromLocale(QLocale::system()), UsEnglishFormatSettings()));
  // An ending desktop session may not wait for the program to end: save when it asks.
  QObject::connect(application.get(), &QGuiApplication::commitDataRequest, window,
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
