#include "ui/static_link.h"

#include "core/settings_ui.h"

const uint32_t g_colorUnvisited = 0x00FF0000;
const uint32_t g_colorVisited = 0x00800080;

CStaticLink::CStaticLink(std::wstring strLink, int32_t bDeleteOnDestroy)
    : m_link(std::move(strLink)), m_color(g_colorUnvisited), m_bDeleteOnDestroy(bDeleteOnDestroy) {}

CStaticLink::~CStaticLink() = default;

bool CStaticLink::ResolveTarget(const std::wstring& strWindowText) {
    if (m_link.empty()) m_link = strWindowText;
    return !m_link.empty();
}

bool CStaticLink::OnLButtonDown(ISettingsActions& actions, const std::wstring& strWindowText,
                                bool& bFailed) {
    bFailed = false;
    if (!ResolveTarget(strWindowText)) return false;
    if (!actions.OpenAddress(m_link)) {
        // The colour keeps saying whether the user has really seen the page.
        bFailed = true;
        return false;
    }
    m_color = g_colorVisited;
    return true;
}

bool CStaticLink::OnRButtonDown(ISettingsActions& actions, const std::wstring& strWindowText) {
    if (!ResolveTarget(strWindowText)) return false;
    return actions.CopyText(m_link);
}
