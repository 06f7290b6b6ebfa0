// SPDX-License-Identifier: MIT
// The window's look with fixed texts, for comparing two builds pixel by pixel:
// its pages, a focused box, hovered buttons, and the popups it opens (system
// menu, list, tooltip, error box) as PNGs, and each widget's font and palette
// in facts.txt. Built with the same source in both trees, run on a private X
// server (tests/e2e/lib.sh, e2e_start_x):
//   build-rel/bench/look_probe OUT_DIR
#include <cstdio>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest/QTest>

#include "AppTestSupport.h"
#include "CaptionBar.h"
#include "MainWindow.h"

using namespace KestrineTest;

static void Dump(QWidget* w, FILE* out) {
  const char* roles[] = {"WindowText",  "Button",          "Light",          "Midlight",    "Dark",          "Mid",
                         "Text",        "BrightText",      "ButtonText",     "Base",        "Window",        "Shadow",
                         "Highlight",   "HighlightedText", "Link",           "LinkVisited", "AlternateBase", "NoRole",
                         "ToolTipBase", "ToolTipText",     "PlaceholderText"};
  fprintf(out, "%s %s style=%s font=%s geom=%d,%d,%d,%d cr=%d,%d,%d,%d hover=%d autofill=%d styledbg=%d\n",
          w->metaObject()->className(), qPrintable(w->objectName()), w->style()->metaObject()->className(),
          qPrintable(w->font().toString()), w->x(), w->y(), w->width(), w->height(), w->contentsRect().x(),
          w->contentsRect().y(), w->contentsRect().width(), w->contentsRect().height(), w->testAttribute(Qt::WA_Hover),
          w->autoFillBackground(), w->testAttribute(Qt::WA_StyledBackground));
  for (int g = 0; g < 3; ++g) {
    fprintf(out, "  g%d", g);
    for (int r = 0; r < 21; ++r)
      if (r != 17)
        fprintf(out, " %s=%s", roles[r],
                qPrintable(w->palette().color(QPalette::ColorGroup(g), QPalette::ColorRole(r)).name(QColor::HexArgb)));
    fprintf(out, "\n");
  }
}

static void Pump(int ms) { PumpFor(std::chrono::milliseconds(ms)); }

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]);
  auto window = MakeWindow();
  TMainWindow& w = *window;
  w.show();
  w.activateWindow();
  Pump(300);
  w.SetText(TControl::TeSEdit1, "11-Dec -2026 05:33:17");
  w.SetText(TControl::TeSEdit2, "11-Dec -2026 05:33:17");
  w.SetText(TControl::TeSEdit3, "time synchronized");
  w.SetText(TControl::labCurServer, "Current Server: 129.6.15.29");
  Pump(200);
  FILE* out = fopen(qPrintable(dir + "/facts.txt"), "w");
  fprintf(out, "app style %s app font %s\n", QApplication::style()->metaObject()->className(),
          qPrintable(QApplication::font().toString()));
  Dump(&w, out);
  for (QWidget* c : w.findChildren<QWidget*>()) Dump(c, out);
  auto* tabs = w.Control<QTabWidget>(TControl::TePageControl1);
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setCurrentIndex(i);
    Pump(100);
    w.grab().save(dir + QStringLiteral("/page%1.png").arg(i));
  }
  tabs->setCurrentIndex(1);
  Pump(50);
  // focus in the edit box
  auto* edit = w.Control<QLineEdit>(TControl::edtSyncTime);
  if (edit && edit->isEnabled()) {
    edit->setFocus();
    Pump(100);
    w.grab().save(dir + "/focus.png");
  }
  w.setFocus();
  tabs->setCurrentIndex(0);
  Pump(50);
  // hover a caption button
  int n = 0;
  for (QToolButton* b : w.CaptionBar->findChildren<QToolButton*>()) {
    QTest::mouseMove(b, QPoint(5, 5));
    Pump(100);
    w.grab().save(dir + QStringLiteral("/hover%1.png").arg(n++));
  }
  QTest::mouseMove(&w, QPoint(100, 200));
  Pump(100);
  // hover a push button
  QTest::mouseMove(w.Control(TControl::TeButton2), QPoint(5, 5));
  Pump(100);
  w.grab().save(dir + "/hoverbutton.png");
  QTest::mouseMove(&w, QPoint(100, 200));
  // system menu
  QMenu* menu = w.CaptionBar->ShowSystemMenu(w.mapToGlobal(QPoint(2, 20)));
  Pump(200);
  menu->grab().save(dir + "/menu.png");
  Dump(menu, out);
  menu->close();
  // combo popup (enable first)
  auto* combo = w.Control<QComboBox>(TControl::cbSeverType);
  combo->setEnabled(true);
  combo->showPopup();
  Pump(200);
  combo->view()->window()->grab().save(dir + "/combo.png");
  Dump(combo->view()->window(), out);
  Dump(combo->view(), out);
  combo->hidePopup();
  combo->setEnabled(false);
  Pump(100);
  // tooltip
  QToolButton* b0 = w.CaptionBar->findChildren<QToolButton*>().first();
  QToolTip::showText(b0->mapToGlobal(QPoint(4, 20)), b0->toolTip(), b0);
  Pump(300);
  for (QWidget* t : QApplication::topLevelWidgets())
    if (QString::fromLatin1(t->metaObject()->className()) == "QTipLabel" && t->isVisible()) {
      t->grab().save(dir + "/tooltip.png");
      Dump(t, out);
    }
  QToolTip::hideText();
  // error box
  QTimer::singleShot(300, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (box) {
      box->grab().save(dir + "/errorbox.png");
      Dump(box, out);
      for (QWidget* c : box->findChildren<QWidget*>()) Dump(c, out);
      box->close();
    }
  });
  w.ShowErrorBox("Could not reach the server.");
  fclose(out);
  CloseForm(window);
  return 0;
}
