@ setup_starts.S whose Uninstall_Init makes the four starts, and whose
@ Install_Exit makes none.
        .set SPIN_ON_UNLOAD, 2       @ never equal to the flag
        .set STARTS_IN_UNINSTALL_INIT, 1
        .include "setup_starts.S"
