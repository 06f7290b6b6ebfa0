#pragma once
#include <QString>

// The program's one look, stored inside it and applied to the window.
QString KestrineStyleSheet();
