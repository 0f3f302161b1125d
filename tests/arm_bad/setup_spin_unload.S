@ setup_starts.S with a DllMain that never returns from its unload call.
        .set SPIN_ON_UNLOAD, 1
        .include "setup_starts.S"
