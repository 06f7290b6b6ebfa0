#include "Style.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

// The fixed layout was made for a narrow 8-point bitmap face whose lines are 11 pixels
// high. Liberation Sans (or Arial, its metric twin) at 10 pixels has that line height
// and about that text width; at 11 pixels "Synchronize time every " would be cut.
QString WindowFontFamily() {
  const QStringList installed = QFontDatabase::families();
  for (const char* family : {"Liberation Sans", "Arial"})
    if (installed.contains(QString::fromLatin1(family))) return QString::fromLatin1(family);
  return QStringLiteral("sans-serif");
}

}  // namespace

QString KestrineStyleSheet() {
  return QStringLiteral("TMainWindow, TMainWindow * { font-family: \"%1\"; font-size: 10px; }")
             .arg(WindowFontFamily()) +
         QStringLiteral(
             "TMainWindow { background: #e8ecf2; border: 1px solid #4a6a96; }"
             "TCaptionBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #5b84bd, stop:1 #2f5a94); }"
             "TCaptionBar QLabel#Caption { color: white; font-weight: bold; }"
             "TCaptionBar QToolButton { border: none; border-radius: 2px; }"
             "TCaptionBar QToolButton:hover { background: rgba(255, 255, 255, 60); }"
             "QLineEdit[readOnly=\"true\"] { background: white; border: 1px solid #9aa9bf; }"
             "QTabWidget::pane { border: 1px solid #9aa9bf; background: #f4f6f9; }"
             "QGroupBox { border: 1px solid #9aa9bf; margin-top: 6px; }"
             "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }");
}
