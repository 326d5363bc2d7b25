// A dialog backend for tests: no window, the controls of the dialog resource held in memory,
// and a script per opened dialog that plays the user (type, click, select, OK, Cancel). It
// drives the same dialog logic that the toolkit backends run.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/dialog.h"

class CScriptedHost : public IDialogHost {
  public:
    CScriptedHost(CDialog& dialog, const CDialogResource& resource);

    // What a user can do. Each returns false (and does nothing) when the control is missing,
    // of the wrong kind, disabled or hidden, as a real user could not do it either.
    bool Type(int nId, const std::wstring& strText);
    bool Click(int nId);  // buttons; a check box toggles first
    bool Select(int nId, int nIndex);
    bool ClickLink(int nId, bool bRight = false);
    bool Ok() { return Click(kIdOk); }
    bool Cancel() { return Click(kIdCancel); }

    int Result() const { return m_nResult; }  // 0 while the dialog is open
    std::vector<std::wstring> ListItems(int nId) const { return Get(nId).items; }

    std::vector<std::wstring> m_messages;  // texts of the message boxes shown

    // IDialogHost. Id 0 is the caption; an id the resource lacks throws std::out_of_range, so
    // dialog logic that asks for a control its dialog does not have fails the test.
    std::wstring GetText(int nId) const override;
    void SetText(int nId, const std::wstring& strText) override;
    bool GetCheck(int nId) const override { return Get(nId).bChecked; }
    void SetCheck(int nId, bool bChecked) override { Put(nId).bChecked = bChecked; }
    bool IsEnabled(int nId) const override { return Get(nId).bEnabled; }
    void Enable(int nId, bool bEnable) override { Put(nId).bEnabled = bEnable; }
    bool IsVisible(int nId) const override { return Get(nId).bVisible; }
    void Show(int nId, bool bShow) override { Put(nId).bVisible = bShow; }
    void ResetList(int nId) override {
        Put(nId).items.clear();
        Put(nId).nSel = -1;
    }
    void AddListItem(int nId, const std::wstring& s) override { Put(nId).items.push_back(s); }
    int GetListCount(int nId) const override { return static_cast<int>(Get(nId).items.size()); }
    std::wstring GetListItem(int nId, int nIndex) const override;
    int GetListSel(int nId) const override { return Get(nId).nSel; }
    void SetListSel(int nId, int nIndex) override;
    void RedrawLink(int) override {}
    void MessageBox(const std::wstring& strText, const std::wstring&) override {
        m_messages.push_back(strText);
    }
    void Beep() override {}
    void EndDialog(int nResult) override { m_nResult = nResult; }

  private:
    struct CState {
        EControlKind kind = EControlKind::kStatic;
        uint32_t nFlags = 0;
        std::wstring strText;
        bool bChecked = false, bEnabled = true, bVisible = true;
        std::vector<std::wstring> items = {};
        int nSel = -1;
    };
    const CState& Get(int nId) const { return m_controls.at(nId); }
    CState& Put(int nId) { return m_controls.at(nId); }
    // The control nId when a user could use it now, else null.
    CState* Usable(int nId);

    CDialog& m_dialog;
    std::wstring m_strCaption;
    std::map<int, CState> m_controls;
    int m_nResult = 0;
};

using CDialogScript = std::function<void(CScriptedHost&)>;

class CScriptedDialogBackend : public IDialogBackend {
  public:
    // The next dialog opened must be nResourceId; script plays it. A script that leaves the
    // dialog open ends it with Cancel.
    void Expect(int nResourceId, CDialogScript script) {
        m_scripts.emplace_back(nResourceId, std::move(script));
    }

    // Runs the next expected script; 0 (no window) for a dialog that was not expected.
    int RunModal(CDialog& dialog, uintptr_t hParent) override;

    std::vector<uintptr_t> m_parents;  // of the dialogs opened, in order

  private:
    std::deque<std::pair<int, CDialogScript>> m_scripts;
};
