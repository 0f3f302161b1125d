// Host side of the status program's boundary: the notification database
// made from the device's pending launches, a file's attributes from its
// object store, and a message box recorded in the run log.
#include <cstring>
#include <string>
#include <vector>

#include "debug_format.h"
#include "host_platform.h"
#include "owner_device.h"
#include "status_platform.h"

namespace {

constexpr DWORD kFileAttributeNormal = 0x80;

HANDLE Token(uint32_t value) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)); }

// The record CeGetUserNotification fills for `launch`, laid out at `buffer`.
struct Record {
    CE_NOTIFICATION_INFO_HEADER header;
    CE_NOTIFICATION_TRIGGER trigger;
};

}  // namespace

extern "C" {

BOOL CeGetUserNotificationHandles(HANDLE* rghNotifications, DWORD cHandles,
                                  DWORD* pcHandlesNeeded) {
    const std::vector<uint32_t> handles = sim::NotificationHandles(sim::HostDevice());
    if (pcHandlesNeeded != nullptr) {
        *pcHandlesNeeded = static_cast<DWORD>(handles.size());
    }
    if (cHandles < handles.size() || rghNotifications == nullptr) {
        return handles.empty() ? TRUE : FALSE;
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        rghNotifications[i] = Token(handles[i]);
    }
    return TRUE;
}

BOOL CeGetUserNotification(HANDLE hNotification, UINT cBufferSize, DWORD* pcBytesNeeded,
                           BYTE* pBuffer) {
    const sim::Launch* launch = sim::NotificationLaunch(
        sim::HostDevice(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hNotification)));
    if (launch == nullptr) {
        return FALSE;
    }
    const std::wstring path(launch->path, launch->path + std::strlen(launch->path));
    const std::wstring args(sim::kRunAtTimeArguments,
                            sim::kRunAtTimeArguments + std::strlen(sim::kRunAtTimeArguments));
    const size_t needed = sizeof(Record) + sizeof(WCHAR) * (path.size() + args.size() + 2);
    if (pcBytesNeeded != nullptr) {
        *pcBytesNeeded = static_cast<DWORD>(needed);
    }
    if (pBuffer == nullptr || cBufferSize < needed) {
        return FALSE;
    }
    auto* record = reinterpret_cast<Record*>(pBuffer);
    auto* strings = reinterpret_cast<WCHAR*>(pBuffer + sizeof(Record));
    std::memcpy(strings, path.c_str(), sizeof(WCHAR) * (path.size() + 1));
    std::memcpy(strings + path.size() + 1, args.c_str(), sizeof(WCHAR) * (args.size() + 1));
    record->trigger = {sizeof(CE_NOTIFICATION_TRIGGER), CNT_TIME, 0, strings,
                       strings + path.size() + 1, launch->at, launch->at};
    record->header = {hNotification, 0, &record->trigger, nullptr};
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    if (lpFileName == nullptr) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return sim::FindFile(sim::HostDevice(), sim::ToUtf8(lpFileName)) != nullptr
               ? kFileAttributeNormal
               : INVALID_FILE_ATTRIBUTES;
}

int MessageBoxW(HWND /*hWnd*/, LPCWSTR lpText, LPCWSTR lpCaption, UINT /*uType*/) {
    sim::RecordMessageBox(sim::HostDevice(), lpCaption != nullptr ? sim::ToUtf8(lpCaption) : "",
                          lpText != nullptr ? sim::ToUtf8(lpText) : "");
    return 1;  // IDOK: the owner tapped OK
}

}  // extern "C"
