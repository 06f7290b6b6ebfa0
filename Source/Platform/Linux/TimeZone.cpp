#include "Platform/TimeZone.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace Platform {

bool ReadUtcBiasSeconds(std::int64_t& biasSeconds, std::string& errorText) {
  tzset();  // a changed TZ or zone file must be seen at once
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) {
    const int error = errno != 0 ? errno : EINVAL;
    errorText = std::strerror(error);
    return false;
  }
  biasSeconds = -static_cast<std::int64_t>(local.tm_gmtoff);  // tm_gmtoff is seconds east of UTC
  return true;
}

}  // namespace Platform
