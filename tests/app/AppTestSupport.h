#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class TForm1;
class QLabel;
class QLineEdit;

namespace KestrineTest {

// Runs Qt's events and the window's-thread steps until done() holds; false on time-out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void PumpFor(std::chrono::milliseconds duration);

// Destroys the window like the program does at exit, then waits (pumping) for
// every query worker to end, so the next test starts clean.
void CloseForm(std::unique_ptr<TForm1>& form);

// An address on the loopback interface for the life of the object, so that a
// test can answer as a public server; without it that address is unreachable.
class ScopedLoopbackAddress {
public:
  explicit ScopedLoopbackAddress(std::string address);
  ~ScopedLoopbackAddress();

private:
  std::string FAddress;
};

std::string Text(const QLineEdit* box);
std::string Text(const QLabel* label);

}  // namespace KestrineTest
