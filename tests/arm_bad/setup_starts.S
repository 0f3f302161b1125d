@ A setup library whose Install_Exit (Uninstall_Init when
@ STARTS_IN_UNINSTALL_INIT is set) starts four programs, closing every
@ handle, and whose DllMain, when SPIN_ON_UNLOAD is set, never returns from
@ the unload call that follows them.
        .syntax unified
        .arm
        .text
        .globl DllMain
        .type DllMain, %function
DllMain:
        cmp r1, #0                  @ DLL_PROCESS_DETACH
        ldreq r2, =started
        ldreq r2, [r2]
        cmpeq r2, #SPIN_ON_UNLOAD
1:      beq 1b
        mov r0, #1
        mov pc, lr

        .ifdef STARTS_IN_UNINSTALL_INIT
        .globl Uninstall_Init
        .type Uninstall_Init, %function
Uninstall_Init:
        .else
        .globl Install_Exit
        .type Install_Exit, %function
Install_Exit:
        .endif
        push {r4, r5, lr}
        ldr r0, =started
        mov r1, #1
        str r1, [r0]
        sub sp, sp, #40             @ six NULL arguments, then the process information
        mov r0, #0
        mov r1, #0
2:      str r0, [sp, r1]
        add r1, r1, #4
        cmp r1, #24
        bne 2b
        add r0, sp, #24
        str r0, [sp, #20]
        ldr r4, =paths
3:      ldr r0, [r4], #4
        cmp r0, #0
        beq 4f
        mov r1, #0
        mov r2, #0
        mov r3, #0
        bl CreateProcessW
        cmp r0, #0
        beq 3b
        ldr r0, [sp, #24]
        bl CloseHandle
        ldr r0, [sp, #28]
        bl CloseHandle
        b 3b
4:      add sp, sp, #40
        mov r0, #0
        pop {r4, r5, pc}
        .ltorg

        .globl Install_Init, Uninstall_Exit
        .type Install_Init, %function
        .type Uninstall_Exit, %function
Install_Init:
Uninstall_Exit:
        .ifdef STARTS_IN_UNINSTALL_INIT
        .globl Install_Exit
        .type Install_Exit, %function
Install_Exit:
        .else
        .globl Uninstall_Init
        .type Uninstall_Init, %function
Uninstall_Init:
        .endif
        mov r0, #0
        mov pc, lr

        .section .rodata
        .p2align 2
paths:  .word nuv, nuv28, nuv29, nuv, 0
        .p2align 1
nuv:    .short '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\', 'n', 'u', 'v', '.', 'e', 'x', 'e', 0
nuv28:  .short '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\', 'n', 'u', 'v', '2', '8', '.', 'e', 'x', 'e', 0
nuv29:  .short '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\', 'n', 'u', 'v', '2', '9', '.', 'e', 'x', 'e', 0

        .data
        .p2align 2
started:
        .word 0
