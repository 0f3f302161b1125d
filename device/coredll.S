@ The seven COREDLL services as the programs call them. Each name is a thunk
@ that jumps through its slot of the import address table; the loader fills
@ the slot with the service's address. The slots lie in .iat in this order.
        .syntax unified
        .arm
        .include "coredll_service.inc"

        service SetKMode
        service NKDbgPrintfW
        service IsAPIReady
        service Sleep
        service GetLocalTime
        service CeRunAppAtTime
        service PowerPolicyNotify
