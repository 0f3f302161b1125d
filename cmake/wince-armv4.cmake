# Toolchain file for the real device build: Windows CE 4.20 (Pocket PC 2003)
# on ARMv4, through CMake's own Windows CE support and NMake. Run it from a
# shell whose environment is set up for the Pocket PC 2003 SDK's ARMV4
# compiler (see the README); it cannot be run on a machine without that SDK.
set(CMAKE_SYSTEM_NAME WindowsCE)
set(CMAKE_SYSTEM_VERSION 4.20)
set(CMAKE_SYSTEM_PROCESSOR ARMV4)

# The fixers use neither exceptions nor RTTI.
set(CMAKE_CXX_FLAGS_INIT "/GR- /EHs-c-")
