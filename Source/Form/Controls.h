// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "Form/FormView.h"

// The logic's handles on the window's controls: each names one control of the
// view and reads like the control it stands for (TeSEdit1.SetText(...)).

class TControlRef {
public:
  TControlRef(IFormView& view, TControl id) : FView(&view), FId(id) {}
  TControl Id() const { return FId; }
  void SetEnabled(bool enabled) { FView->SetEnabled(FId, enabled); }

protected:
  IFormView* FView;
  TControl FId;
};

class TEditRef : public TControlRef {
public:
  using TControlRef::TControlRef;
  std::string Text() const { return FView->Text(FId); }
  void SetText(const std::string& text) { FView->SetText(FId, text); }
  void SetFontColor(int color) { FView->SetFontColor(FId, color); }
};

class TListRef : public TControlRef {
public:
  using TControlRef::TControlRef;
  int ItemIndex() const { return FView->ItemIndex(FId); }
  void SetItemIndex(int index) { FView->SetItemIndex(FId, index); }
};

// A check box runs its click handler whenever its state changes, also when the
// program sets it. A radio button runs its handler when it becomes checked, and
// checking it unchecks its partner; it runs nothing when it is unchecked.
class TCheckRef : public TControlRef {
public:
  TCheckRef(IFormView& view, TControl id, std::function<void()> onClick = {});
  bool Checked() const { return FView->Checked(FId); }
  // The program sets the state; a failure of the handler reaches the caller.
  void SetChecked(bool checked);
  // The user clicked the control or changed it in the view (which already shows
  // it): true when the handler is due. A view may report a click that changed
  // nothing, such as one on a radio button already checked, and the unchecking
  // of a radio button's partner, or not.
  bool UserChanged();
  void MakeRadioPair(TCheckRef& partner) {
    FPartner = &partner;
    partner.FPartner = this;
  }

  std::function<void()> OnClick;

private:
  TCheckRef* FPartner = nullptr;
  bool FKnown;  // the state last set or seen
};

// A window timer: a change of Interval or Enabled to a different value restarts
// its period; writing the value it already has changes nothing.
class TTimerRef {
public:
  TTimerRef(IFormView& view, TTimerId id, std::uint32_t interval, bool enabled)
      : FView(&view), FId(id), FInterval(interval), FEnabled(enabled) {}
  std::uint32_t Interval() const { return FInterval; }
  bool Enabled() const { return FEnabled; }
  void SetInterval(std::uint32_t interval);
  void SetEnabled(bool enabled);
  // The view's timer starts as the stored properties say.
  void Apply() { FView->SetTimer(FId, FInterval, FEnabled); }

private:
  IFormView* FView;
  TTimerId FId;
  std::uint32_t FInterval;
  bool FEnabled;
};
