// Host side of the status program's boundary: the device's notification
// store laid out with this host's pointers, a file's attributes from its
// object store, a message box recorded in the run log, and a heap.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "debug_format.h"
#include "device.h"
#include "event_starts.h"
#include "host_platform.h"
#include "named_objects.h"
#include "notification_store.h"
#include "owner_device.h"
#include "status.h"
#include "status_platform.h"

namespace {

constexpr UINT kLmemZeroInit = 0x40;

HANDLE Token(uint32_t value) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)); }

// The record's strings, in the order they are laid out after the structures.
std::vector<const std::u16string*> Strings(const sim::NotificationRecord& r) {
    std::vector<const std::u16string*> strings;
    for (const std::optional<std::u16string>* s : {&r.application, &r.arguments}) {
        if (*s) {
            strings.push_back(&**s);
        }
    }
    if (r.user) {
        strings.insert(strings.end(), {&r.user->title, &r.user->text, &r.user->sound});
    }
    return strings;
}

size_t RecordSize(const sim::NotificationRecord& r) {
    size_t size = sizeof(CE_NOTIFICATION_INFO_HEADER) + sizeof(CE_NOTIFICATION_TRIGGER) +
                  (r.user ? sizeof(CE_USER_NOTIFICATION) : 0);
    for (const std::u16string* s : Strings(r)) {
        size += sizeof(WCHAR) * (s->size() + 1);
    }
    return size;
}

// Lays `r` out at `buffer`, its pointers into the buffer itself.
void LayOut(const sim::NotificationRecord& r, BYTE* buffer) {
    auto* header = reinterpret_cast<CE_NOTIFICATION_INFO_HEADER*>(buffer);
    auto* trigger = reinterpret_cast<CE_NOTIFICATION_TRIGGER*>(header + 1);
    auto* user = reinterpret_cast<CE_USER_NOTIFICATION*>(trigger + 1);
    auto* next = reinterpret_cast<WCHAR*>(r.user ? reinterpret_cast<BYTE*>(user + 1)
                                                 : reinterpret_cast<BYTE*>(user));
    const auto put = [&next](const std::optional<std::u16string>& s) -> WCHAR* {
        if (!s) {
            return nullptr;
        }
        WCHAR* at = next;
        for (const char16_t c : *s) {
            *next++ = static_cast<WCHAR>(c);
        }
        *next++ = 0;
        return at;
    };
    *trigger = {sizeof(CE_NOTIFICATION_TRIGGER), r.type, r.event, nullptr, nullptr, r.start,
                r.end};
    trigger->lpszApplication = put(r.application);
    trigger->lpszArguments = put(r.arguments);
    if (r.user) {
        *user = {r.user->action_flags, nullptr, nullptr, nullptr, r.user->max_sound, 0};
        user->pwszDialogTitle = put(r.user->title);
        user->pwszDialogText = put(r.user->text);
        user->pwszSound = put(r.user->sound);
    }
    *header = {Token(r.handle), 0, trigger, r.user ? user : nullptr};
}

// What LocalAlloc gave and LocalFree has not taken back.
std::set<void*>& HeapBlocks() {
    static std::set<void*> blocks;
    return blocks;
}

}  // namespace

extern "C" {

BOOL CeGetUserNotificationHandles(HANDLE* rghNotifications, DWORD cHandles,
                                  DWORD* pcHandlesNeeded) {
    const sim::HandleList list =
        sim::AnswerHandles(sim::HostDevice(), rghNotifications != nullptr ? cHandles : 0);
    if (pcHandlesNeeded != nullptr) {
        *pcHandlesNeeded = list.needed;
    }
    for (size_t i = 0; rghNotifications != nullptr && i < list.handles.size(); ++i) {
        rghNotifications[i] = Token(list.handles[i]);
    }
    return list.ok ? TRUE : FALSE;
}

BOOL CeGetUserNotification(HANDLE hNotification, UINT cBufferSize, DWORD* pcBytesNeeded,
                           BYTE* pBuffer) {
    const std::optional<sim::NotificationRecord> record = sim::ReadNotification(
        sim::HostDevice(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hNotification)));
    const size_t needed = record ? RecordSize(*record) : 0;
    if (pcBytesNeeded != nullptr) {
        *pcBytesNeeded = static_cast<DWORD>(needed);
    }
    if (!record || pBuffer == nullptr || cBufferSize < needed) {
        return FALSE;
    }
    LayOut(*record, pBuffer);
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    return lpFileName == nullptr
               ? INVALID_FILE_ATTRIBUTES
               : sim::FileAttributes(sim::HostDevice(), sim::ToUtf8(lpFileName));
}

int MessageBoxW(HWND /*hWnd*/, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    const bool shown = sim::RecordMessageBox(
        sim::HostDevice(), lpCaption != nullptr ? sim::ToUtf8(lpCaption) : sim::kDefaultCaption,
        lpText != nullptr ? sim::ToUtf8(lpText) : "", uType);
    return shown ? 1 : 0;  // IDOK: the owner tapped OK
}

HLOCAL LocalAlloc(UINT uFlags, UINT uBytes) {
    if ((uFlags & ~kLmemZeroInit) != LMEM_FIXED || sim::ShortOfMemory(sim::HostDevice(), uBytes)) {
        return nullptr;  // movable memory, or a handheld short of memory
    }
    void* block = std::calloc(uBytes != 0 ? uBytes : 1, 1);
    if (block != nullptr) {
        HeapBlocks().insert(block);
    }
    return block;
}

HANDLE CreateMutexW(void* lpMutexAttributes, BOOL /*bInitialOwner*/, LPCWSTR lpName) {
    std::optional<std::string> name;
    size_t units = 0;
    if (lpName != nullptr) {
        name = sim::ToUtf8(lpName);
        units = std::wcslen(lpName);
    }
    const std::optional<uint32_t> handle =
        sim::DeviceCreateMutex(sim::HostDevice(), lpMutexAttributes != nullptr, name, units);
    return handle ? Token(*handle) : nullptr;
}

DWORD GetLastError() { return sim::HostDevice().os.last_error; }

HLOCAL LocalFree(HLOCAL hMem) {
    if (hMem != nullptr && HeapBlocks().erase(hMem) == 0) {
        sim::RecordViolation(sim::HostDevice(),
                             "LocalFree given memory LocalAlloc never gave or took back already");
        return hMem;
    }
    std::free(hMem);
    return nullptr;
}

}  // extern "C"

// The host build's entry point: the status program started with the command
// line the simulated device passes it.
int main() {
    const std::wstring line = sim::ToWide(sim::ToUtf16(sim::CommandLine(sim::HostDevice())).c_str());
    return ShowStatus(line.c_str());
}
