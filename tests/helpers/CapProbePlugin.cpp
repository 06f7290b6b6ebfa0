// SPDX-License-Identifier: MIT
// A Qt plugin of the kind any user can have a program load through
// QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS: it writes the capabilities of the
// process it was loaded into to the file KESTRINE_CAP_PROBE_OUT names.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QGenericPlugin>

namespace {

[[gnu::constructor]] void ReportCapabilities() {
  const char* out = std::getenv("KESTRINE_CAP_PROBE_OUT");
  if (out == nullptr) return;
  FILE* status = std::fopen("/proc/self/status", "r");
  FILE* report = std::fopen(out, "w");
  char line[256];
  while (status != nullptr && report != nullptr && std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, "Cap", 3) == 0) std::fputs(line, report);
  if (status != nullptr) std::fclose(status);
  if (report != nullptr) std::fclose(report);
}

}  // namespace

class TCapProbePlugin : public QGenericPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "CapProbePlugin.json")
public:
  QObject* create(const QString&, const QString&) override { return nullptr; }
};

#include "CapProbePlugin.moc"
