@ The COREDLL services the setup library calls, as the programs' are
@ called (device/coredll_service.inc).
        .syntax unified
        .arm
        .include "coredll_service.inc"

        service CreateProcessW
        service CloseHandle
        service CeRunAppAtTime
        service CeRunAppAtEvent
