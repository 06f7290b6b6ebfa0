#include "Form1.h"

// The settings file is read once at start-up and written once at the end.
void TForm1::LoadSettings() {}

void TForm1::SaveSettings() {}
