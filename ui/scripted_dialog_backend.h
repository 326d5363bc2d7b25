// A dialog backend for tests: no window, the controls of the dialog resource held in memory,
// and a script per opened dialog that plays the user (type, click, select, OK, Cancel). It
// drives the same dialog logic that the toolkit backends run.
#pragma once

#include <deque>
#include <functional>
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

    const CDialogResource& Resource() const { return m_resource; }
    bool HasEnded() const { return m_nResult != 0; }
    int Result() const { return m_nResult; }
    std::vector<std::wstring> ListItems(int nId) const;

    std::vector<std::wstring> m_messages;  // texts of the message boxes shown
    int m_nBeeps = 0;

    // IDialogHost
    std::wstring GetText(int nId) const override;
    void SetText(int nId, const std::wstring& strText) override;
    bool GetCheck(int nId) const override;
    void SetCheck(int nId, bool bChecked) override;
    bool IsEnabled(int nId) const override;
    void Enable(int nId, bool bEnable) override;
    bool IsVisible(int nId) const override;
    void Show(int nId, bool bShow) override;
    void ResetList(int nId) override;
    void AddListItem(int nId, const std::wstring& strItem) override;
    int GetListCount(int nId) const override;
    std::wstring GetListItem(int nId, int nIndex) const override;
    int GetListSel(int nId) const override;
    void SetListSel(int nId, int nIndex) override;
    void RedrawLink(int) override {}
    void MessageBox(const std::wstring& strText, const std::wstring&) override;
    void Beep() override { ++m_nBeeps; }
    void EndDialog(int nResult) override { m_nResult = nResult; }

  private:
    struct CState {
        int nId = 0;
        EControlKind kind = EControlKind::kStatic;
        uint32_t nFlags = 0;
        std::wstring strText;
        bool bChecked = false;
        bool bEnabled = true;
        bool bVisible = true;
        std::vector<std::wstring> items;
        int nSel = -1;
    };
    CState* Find(int nId);
    const CState* Find(int nId) const;
    bool CanUse(const CState* pState) const;

    CDialog& m_dialog;
    const CDialogResource& m_resource;
    std::wstring m_strCaption;
    std::vector<CState> m_controls;
    int m_nResult = 0;
};

using CDialogScript = std::function<void(CScriptedHost&)>;

class CScriptedDialogBackend : public IDialogBackend {
  public:
    // The next dialog opened must be nResourceId; script plays it. A script that leaves the
    // dialog open ends it with Cancel.
    void Expect(int nResourceId, CDialogScript script);

    // Runs the next expected script; 0 (no window) for a dialog that was not expected.
    int RunModal(CDialog& dialog, uintptr_t hParent) override;

    std::vector<int> m_opened;  // resource ids in the order the dialogs opened
    std::vector<uintptr_t> m_parents;

  private:
    std::deque<std::pair<int, CDialogScript>> m_scripts;
};
