#include "Controls.h"

void TCheckRef::SetChecked(bool checked) {
  if (Checked() == checked) return;
  FView->SetChecked(FId, checked);
  if (FPartner == nullptr) {
    if (OnClick) OnClick();
    return;
  }
  if (!checked) return;
  FView->SetChecked(FPartner->FId, false);
  if (OnClick) OnClick();
}

void TTimerRef::SetInterval(std::uint32_t interval) {
  if (interval == FInterval) return;
  FInterval = interval;
  FView->SetTimer(FId, FInterval, FEnabled);
}

void TTimerRef::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  FView->SetTimer(FId, FInterval, FEnabled);
}
