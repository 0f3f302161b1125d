@ setup_starts.S with a DllMain that returns from its unload call.
        .set SPIN_ON_UNLOAD, 2       @ never equal to the flag
        .include "setup_starts.S"
