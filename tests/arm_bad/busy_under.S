@ Runs 19,000,000 instructions without a Sleep, just under the spin rule's
@ 20,000,000, loading through the memory hook, then exits 5: however slow
@ the host, both ARM runners let it end.
        .syntax unified
        .arm

        .text
        .globl main
main:   ldr r0, =6333000           @ three instructions a pass
        mov r2, sp
1:      ldr r1, [r2, #-4]
        subs r0, r0, #1
        bne 1b
        mov r0, #5
        mov pc, lr
        .ltorg
