@ Asks LocalAlloc for more than the heap holds (NULL), then for 16 bytes,
@ and gives those back twice: the second LocalFree is a breach.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service LocalAlloc
        service LocalFree

        .text
        .globl main
main:   push {r4, lr}
        mov r0, #0
        ldr r1, =0x7FFFFFF0
        bl LocalAlloc
        cmp r0, #0
        movne r0, #9               @ a heap that says yes to 2 GiB
        popne {r4, pc}
        mov r0, #0
        mov r1, #16
        bl LocalAlloc
        mov r4, r0
        str r4, [r4, #12]          @ the block is the program's to write
        bl LocalFree
        mov r0, r4
        bl LocalFree
        mov r0, #0
        pop {r4, pc}
        .ltorg
