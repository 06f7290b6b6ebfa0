// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class TMainWindow;
class QLabel;
class QLineEdit;

namespace KestrineTest {

// A window as the program makes it, without a settings file, its tick stopped
// (the tests tick themselves) and its first query going nowhere.
std::unique_ptr<TMainWindow> MakeWindow();

// Runs Qt's events and the window's-thread steps until done() holds; false on time-out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void PumpFor(std::chrono::milliseconds duration);

// Destroys the window like the program does at exit, then waits (pumping) for
// every query worker to end, so the next test starts clean.
void CloseForm(std::unique_ptr<TMainWindow>& form);

std::string Text(const QLineEdit* box);
std::string Text(const QLabel* label);

}  // namespace KestrineTest
