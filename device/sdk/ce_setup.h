// Stand-in for the SDK's <ce_setup.h>: the four functions the installer
// calls in a cabinet's setup library, and their return codes, as documented.
#ifndef NUV_SDK_STANDIN_CE_SETUP_H
#define NUV_SDK_STANDIN_CE_SETUP_H

#include <windows.h>

typedef enum { codeINSTALL_INIT_CONTINUE = 0, codeINSTALL_INIT_CANCEL } codeINSTALL_INIT;
typedef enum { codeINSTALL_EXIT_DONE = 0, codeINSTALL_EXIT_UNINSTALL } codeINSTALL_EXIT;
typedef enum { codeUNINSTALL_INIT_CONTINUE = 0, codeUNINSTALL_INIT_CANCEL } codeUNINSTALL_INIT;
typedef enum { codeUNINSTALL_EXIT_DONE = 0 } codeUNINSTALL_EXIT;

#endif
