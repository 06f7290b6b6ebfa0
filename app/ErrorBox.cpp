#include "ErrorBox.h"

#include <QMessageBox>

#include "AppTitle.h"

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void ShowErrorBox(QWidget* parent, const std::string& message) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle),
                  QString::fromLatin1(ErrorBoxText(message).c_str()), QMessageBox::Ok, parent);
  box.exec();
}

