@ The seven COREDLL services as the programs call them. Each name is a thunk
@ that jumps through its slot of the import address table; the loader fills
@ the slot with the service's address. The slots lie in .iat in this order,
@ and the image's linker script closes the table with a zero word.
        .syntax unified
        .arm

        .macro service name
        .section .text.coredll.\name, "ax", %progbits
        .globl \name
        .type \name, %function
        .p2align 2
\name:
        ldr ip, 1f
        ldr pc, [ip]
1:      .word __imp_\name

        .section .iat, "aw", %progbits
        .globl __imp_\name
        .p2align 2
__imp_\name:
        .word 0
        .endm

        service SetKMode
        service NKDbgPrintfW
        service IsAPIReady
        service Sleep
        service GetLocalTime
        service CeRunAppAtTime
        service PowerPolicyNotify
