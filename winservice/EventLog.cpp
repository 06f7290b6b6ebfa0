// SPDX-License-Identifier: MIT
#include "EventLog.h"

#include <windows.h>

#include "EventMessages.h"
#include "Platform/Windows/ClockService.h"

void LogEvent(TEventKind kind, const std::wstring& text) {
  const HANDLE source = RegisterEventSourceW(nullptr, Platform::ClockService::ServiceName);
  if (source == nullptr) return;
  const WORD type = kind == TEventKind::Information ? EVENTLOG_INFORMATION_TYPE
                    : kind == TEventKind::Warning   ? EVENTLOG_WARNING_TYPE
                                                    : EVENTLOG_ERROR_TYPE;
  const wchar_t* strings[] = {text.c_str()};
  ReportEventW(source, type, 0, MSG_TEXT, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}
