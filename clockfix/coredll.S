@ The COREDLL services the status program calls: the re-arming's, then
@ the event starts, the notification database, the heap its read of the
@ database needs, a file's attributes, the message box, and the mutex
@ that keeps it to one box.
        .syntax unified
        .arm
        .include "coredll_service.inc"

        service NKDbgPrintfW
        service IsAPIReady
        service Sleep
        service GetLocalTime
        service CeRunAppAtTime
        service CeRunAppAtEvent
        service CeGetUserNotificationHandles
        service CeGetUserNotification
        service GetFileAttributesW
        service MessageBoxW
        service LocalAlloc
        service LocalFree
        service CreateMutexW
        service GetLastError
        service CloseHandle
