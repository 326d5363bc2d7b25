// The settings dialog as the core calls it today: values go in, and come back when the user
// confirms. The values are the ones of core/settings_ui.h, so the whole module has one
// definition of them.
#pragma once

#include <cstdint>

#include "core/settings_ui.h"

class CLocanymApp;

// Runs the settings dialog modally over the host window hParent. True when the user confirmed
// with OK; values then hold the dialog's values. False leaves values as they came.
bool RunSettingsDialog(uintptr_t hParent, CLocanymApp& app, CLocanymDlgValues& values);
