// The binary interface between the host program and the plug-in module.
//
// The host calls the module's one exported function, sldPlugInMsgHandler(message, wparam,
// lparam), with the messages below; the module answers through the callback handed over with
// message 3. All three arguments and the result are pointer-sized unsigned integers. Texts are
// NUL-terminated wide strings (wchar_t). This header is shared by the module and by hosts.
#pragma once

#include <cstddef>
#include <cstdint>

// Host callback: (code, first, second). The module examines only the low 32 bits of the
// result, and only for code kCbCachePath.
typedef intptr_t (*SldHostCallback)(int32_t nCode, uintptr_t first, uintptr_t second);
// The module's exported entry point.
typedef uintptr_t (*SldPlugInMsgHandler)(uintptr_t nMessage, uintptr_t wParam, uintptr_t lParam);

#define SLD_ENTRY_POINT_NAME "sldPlugInMsgHandler"

// Messages from the host.
enum : uintptr_t {
    kMsgIdentify = 1,           // result 256
    kMsgVersionText = 2,        // wparam: wide buffer for "Locanym v1.0.1"; result 1
    kMsgInitialise = 3,         // wparam: host callback, lparam: host start value; result 1
    kMsgConfigure = 5,          // wparam: parent window; result 1 on OK, else 0
    kMsgSaveSettings = 6,       // result 1
    kMsgLoadSettings = 7,       // result 1
    kMsgSettingsChanged = 8,    // result: the settings-changed flag
    kMsgStart = 9,              // lparam: non-zero for a full start; result 0
    kMsgStop = 10,              // lparam: non-zero for a full stop; result 0
    kMsgIsEnabled = 18,         // result 1 when enabled
    kMsgProcessPhoto = 19,      // wparam: photo path; result: caption buffer address, or 0
    kMsgHostEvent = 25,         // wparam 1 or 2: save the cache
    kMsgInterfaceVersion = 28,  // wparam: host interface version
    kMsgEnabled = 40,           // wparam non-zero: set "Enabled" to lparam; result Enabled + 1
    kMsgHostEvent2 = 46,        // wparam 4: save the cache
};

constexpr uintptr_t kIdentifyResult = 0x100;

// Callback codes used by the module.
enum : int32_t {
    kCbDataFolder = 3,    // first: wide buffer, second: capacity (2600)
    kCbWriteSetting = 5,  // first: SLD_PROFILE_RECORD*, second: 0
    kCbReadSetting = 6,   // first: SLD_PROFILE_RECORD*, second: 0
    kCbLog = 7,           // first: prefix text, second: message text
    kCbCachePath = 11,    // first: wide buffer, second: capacity (4095); result 0: no path
};

constexpr size_t kDataFolderCapacity = 2600;
constexpr size_t kCachePathCapacity = 4095;

// Profile record of callback codes 5 and 6: 48 bytes, little-endian, all bytes zero before the
// fields are set. Addresses are stored in 64-bit fields on every platform.
enum : int32_t { kProfileText = 0, kProfileInt = 1 };

struct SLD_PROFILE_RECORD {
    uint64_t section;  // address of the section text ("LocanymPlugIn")
    uint64_t key;      // address of the key text
    int32_t type;      // kProfileInt or kProfileText
    int32_t zero1;
    uint64_t value;    // int: the value in the low 4 bytes; text: address of the text buffer
    uint64_t def;      // read int: the default in the low 4 bytes; read text: default's address
    int32_t capacity;  // read text: 1023; otherwise 0
    int32_t zero2;
};
static_assert(sizeof(SLD_PROFILE_RECORD) == 48);
static_assert(offsetof(SLD_PROFILE_RECORD, section) == 0);
static_assert(offsetof(SLD_PROFILE_RECORD, key) == 8);
static_assert(offsetof(SLD_PROFILE_RECORD, type) == 16);
static_assert(offsetof(SLD_PROFILE_RECORD, zero1) == 20);
static_assert(offsetof(SLD_PROFILE_RECORD, value) == 24);
static_assert(offsetof(SLD_PROFILE_RECORD, def) == 32);
static_assert(offsetof(SLD_PROFILE_RECORD, capacity) == 40);
static_assert(offsetof(SLD_PROFILE_RECORD, zero2) == 44);

constexpr int32_t kProfileTextCapacity = 1023;
