#pragma once
#include <string>

class QWidget;

// The text the error box shows: a full stop is added when the last character sorts above ".".
std::string ErrorBoxText(const std::string& message);
void ShowErrorBox(QWidget* parent, const std::string& message);
