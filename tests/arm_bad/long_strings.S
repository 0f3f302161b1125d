@ Shows a box whose text is 5000 UTF-16 units (each two bytes of UTF-8),
@ then asks for the attributes of a path as long: the box is shown, cut
@ on a character's boundary; the path is no file. Exits 0 when it is not.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service MessageBoxW
        service GetFileAttributesW

        .equ UNITS, 5000
        .text
        .globl main
main:   push {r4, lr}
        sub sp, sp, #10240
        mov r0, sp
        ldr r1, =0x00E9            @ e with an acute accent
        ldr r2, =UNITS
1:      strh r1, [r0], #2
        subs r2, r2, #1
        bne 1b
        strh r2, [r0]
        mov r0, #0
        mov r1, sp
        ldr r2, =caption
        ldr r3, =0x00010040        @ MB_SETFOREGROUND | MB_ICONINFORMATION
        bl MessageBoxW
        mov r0, sp
        mov r1, #'a'
        ldr r2, =UNITS
2:      strh r1, [r0], #2
        subs r2, r2, #1
        bne 2b
        mov r0, sp
        bl GetFileAttributesW
        cmn r0, #1                 @ INVALID_FILE_ATTRIBUTES
        moveq r0, #0
        movne r0, #7
        add sp, sp, #10240
        pop {r4, pc}
        .ltorg

        .section .rodata
        .p2align 1
caption:
        .short 'L', 'o', 'n', 'g', 0
