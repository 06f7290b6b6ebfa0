// SPDX-License-Identifier: MIT
// The clock service's costs under Wine: a request's round trip through the
// program's client (median and 90th percentile of 200), then its resident
// memory and the processor time it takes over 60 idle seconds. It installs the
// tests' build of the service, which records instead of setting the clock, and
// removes it again. Run inside a private network namespace and Wine prefix.
//   clock_service_bench.exe SERVICE_EXE [IDLE_SECONDS]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Platform/Windows/ClockService.h"

namespace Service = Platform::ClockService;

namespace {

double Seconds(const FILETIME& time) {
  return (static_cast<double>(time.dwHighDateTime) * 4294967296.0 + time.dwLowDateTime) / 1e7;
}

double CpuSeconds(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return -1;
  return Seconds(kernel) + Seconds(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: clock_service_bench SERVICE_EXE [IDLE_SECONDS]\n");
    return 64;
  }
  const int idleSeconds = argc > 2 ? _wtoi(argv[2]) : 60;
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  const std::wstring binary = L"\"" + std::wstring(argv[1]) + L"\"";
  const SC_HANDLE service =
      CreateServiceW(manager, Service::ServiceName, Service::DisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr,
                     L"NT AUTHORITY\\LocalService", nullptr);
  if (service == nullptr) {
    std::fprintf(stderr, "CreateService: %lu\n", GetLastError());
    return 1;
  }
  wchar_t record[MAX_PATH];
  GetTempPathW(MAX_PATH, record);
  wcscat(record, L"kestrine-clock-bench.txt");
  const wchar_t* arguments[] = {L"--record", record};
  // Wine's service manager may be busy with its own services for a while.
  for (int attempt = 0; attempt < 40 && !StartServiceW(service, 2, arguments); ++attempt)
    if (GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) break;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  for (int i = 0; i < 400; ++i) {
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    if (status.dwCurrentState == SERVICE_RUNNING) break;
    Sleep(25);
  }

  std::vector<double> trips;
  for (int i = 0; i < 200; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const auto answer = Service::Ask(1796904000000 + i);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (answer.Reached && answer.Result.ErrorCode == 0) trips.push_back(took.count());
  }
  std::sort(trips.begin(), trips.end());
  if (!trips.empty())
    std::printf("round trip: %zu of 200 answered, median %.2f ms, p90 %.2f ms\n", trips.size(), trips[trips.size() / 2],
                trips[trips.size() * 9 / 10]);

  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, status.dwProcessId);
  const double before = CpuSeconds(process);
  Sleep(static_cast<DWORD>(idleSeconds) * 1000);
  const double after = CpuSeconds(process);
  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(process, &memory, sizeof memory);
  std::printf("idle %d s: %.3f s of processor time, resident %.1f MB (peak %.1f MB)\n", idleSeconds, after - before,
              memory.WorkingSetSize / 1048576.0, memory.PeakWorkingSetSize / 1048576.0);
  CloseHandle(process);

  SERVICE_STATUS stopped{};
  ControlService(service, SERVICE_CONTROL_STOP, &stopped);
  for (int i = 0; i < 200 && QueryServiceStatus(service, &stopped) && stopped.dwCurrentState != SERVICE_STOPPED; ++i)
    Sleep(25);
  DeleteService(service);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  DeleteFileW(record);
  return trips.size() == 200 ? 0 : 1;
}
