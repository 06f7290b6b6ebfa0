#pragma once
#include <functional>
#include <string>

class QWidget;

// The text the error box shows: a full stop is added when the last character sorts above ".".
std::string ErrorBoxText(const std::string& message);
void ShowErrorBox(QWidget* parent, const std::string& message);
// Runs a handler; a failure that escapes it is shown in the error box.
void RunHandler(QWidget* parent, const std::function<void()>& handler);
