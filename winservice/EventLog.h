// SPDX-License-Identifier: MIT
#pragma once
#include <string>

// The service's entries in the Windows event log (Application, source
// "KestrineClock"). The installer registers the service's own file as the
// source's message file; its one message is the text as given.
enum class TEventKind { Information, Warning, Error };
void LogEvent(TEventKind kind, const std::wstring& text);
