// A static text that behaves as a web link: blue and underlined, opens its target when
// clicked (purple from then on), copies its target when right-clicked. Toolkit-free; a backend
// draws it from GetColor() and hands it the clicks.
#pragma once

#include <cstdint>
#include <string>

class ISettingsActions;

// Colours as 0x00BBGGRR.
extern const uint32_t g_colorUnvisited;  // blue
extern const uint32_t g_colorVisited;    // purple

class CStaticLink {
  public:
    // strLink: the target; empty means the control's own text becomes the target on first use.
    explicit CStaticLink(std::wstring strLink = std::wstring(), int32_t bDeleteOnDestroy = 0);
    virtual ~CStaticLink();
    CStaticLink(const CStaticLink&) = delete;
    CStaticLink& operator=(const CStaticLink&) = delete;

    // Left click over a control showing strWindowText. Opens the target; true when it opened
    // (the link is then drawn as visited). False when there is nothing to open or opening
    // failed: the caller sounds the beep for a failure (bFailed).
    bool OnLButtonDown(ISettingsActions& actions, const std::wstring& strWindowText, bool& bFailed);

    // Right click: puts the target (not the visible text) on the clipboard. True when it did.
    bool OnRButtonDown(ISettingsActions& actions, const std::wstring& strWindowText);

    uint32_t GetColor() const { return m_color; }

    std::wstring m_link;
    uint32_t m_color;
    int32_t m_bDeleteOnDestroy;

  private:
    // Takes the control's text as the target when none was set; false when both are empty.
    bool ResolveTarget(const std::wstring& strWindowText);
};
