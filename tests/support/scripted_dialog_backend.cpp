#include "tests/support/scripted_dialog_backend.h"

CScriptedHost::CScriptedHost(CDialog& dialog, const CDialogResource& resource)
    : m_dialog(dialog), m_strCaption(resource.pszCaption) {
    for (const CControlResource& control : resource.controls) {
        if (control.nId == kIdcStatic) continue;
        m_controls[control.nId] = {control.kind, control.nFlags,
                                   control.pszText ? control.pszText : L""};
    }
    for (const CListItemResource& item : resource.listItems)
        AddListItem(item.nControlId, item.pszText);
}

CScriptedHost::CState* CScriptedHost::Usable(int nId) {
    const auto it = m_controls.find(nId);
    if (it == m_controls.end() || !it->second.bEnabled || !it->second.bVisible || m_nResult != 0)
        return nullptr;
    return &it->second;
}

bool CScriptedHost::Type(int nId, const std::wstring& strText) {
    CState* pState = Usable(nId);
    if (!pState || pState->kind != EControlKind::kEdit) return false;
    pState->strText = strText;
    return true;
}

bool CScriptedHost::Click(int nId) {
    CState* pState = Usable(nId);
    if (!pState) return false;
    if (pState->kind == EControlKind::kCheckBox) {
        pState->bChecked = !pState->bChecked;
    } else if (pState->kind != EControlKind::kPushButton &&
               pState->kind != EControlKind::kDefPushButton) {
        return false;
    }
    m_dialog.OnCommand(nId);
    return true;
}

bool CScriptedHost::Select(int nId, int nIndex) {
    CState* pState = Usable(nId);
    if (!pState || pState->kind != EControlKind::kDropDownList) return false;
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= pState->items.size()) return false;
    pState->nSel = nIndex;
    m_dialog.OnCommand(nId);
    return true;
}

bool CScriptedHost::ClickLink(int nId, bool bRight) {
    CState* pState = Usable(nId);
    if (!pState || !(pState->nFlags & kCtlLink)) return false;
    m_dialog.OnLinkClick(nId, bRight);
    return true;
}

std::wstring CScriptedHost::GetText(int nId) const {
    if (nId == 0) return m_strCaption;
    const CState& state = Get(nId);
    if (state.kind == EControlKind::kDropDownList) return GetListItem(nId, state.nSel);
    return state.strText;
}

void CScriptedHost::SetText(int nId, const std::wstring& strText) {
    (nId == 0 ? m_strCaption : Put(nId).strText) = strText;
}

std::wstring CScriptedHost::GetListItem(int nId, int nIndex) const {
    const std::vector<std::wstring>& items = Get(nId).items;
    return nIndex >= 0 && static_cast<size_t>(nIndex) < items.size() ? items[nIndex]
                                                                     : std::wstring();
}

void CScriptedHost::SetListSel(int nId, int nIndex) {
    CState& state = Put(nId);
    state.nSel = nIndex >= 0 && static_cast<size_t>(nIndex) < state.items.size() ? nIndex : -1;
}

int CScriptedDialogBackend::RunModal(CDialog& dialog, uintptr_t hParent) {
    const CDialogResource* pResource = FindDialogResource(dialog.GetResourceId());
    if (!pResource || m_scripts.empty() || m_scripts.front().first != dialog.GetResourceId())
        return 0;
    CDialogScript script = std::move(m_scripts.front().second);
    m_scripts.pop_front();
    m_parents.push_back(hParent);
    CScriptedHost host(dialog, *pResource);
    dialog.Attach(host);
    dialog.OnInitDialog();
    if (host.Result() == 0 && script) script(host);
    if (host.Result() == 0) dialog.OnCancel();
    dialog.Detach();
    return host.Result() == 0 ? kIdCancel : host.Result();
}
