// SPDX-License-Identifier: MIT
#include "Form/Controls.h"

#include "Form/ControlTable.h"

TCheckRef::TCheckRef(IFormView& view, TControl id, std::function<void()> onClick)
    : TControlRef(view, id), OnClick(std::move(onClick)), FKnown(ControlSpec(id).Checked) {}

void TCheckRef::SetChecked(bool checked) {
  FKnown = checked;
  if (Checked() == checked) return;
  FView->SetChecked(FId, checked);
  if (FPartner == nullptr) {
    if (OnClick) OnClick();
    return;
  }
  if (!checked) return;
  FView->SetChecked(FPartner->FId, false);
  FPartner->FKnown = false;
  if (OnClick) OnClick();
}

bool TCheckRef::UserChanged() {
  const bool checked = Checked();
  if (checked == FKnown) return false;
  FKnown = checked;
  if (FPartner == nullptr) return true;
  if (checked) FPartner->FKnown = false;
  return checked;
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
