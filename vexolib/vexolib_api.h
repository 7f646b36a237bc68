// Export decoration shared by the log and network halves of vexolib.
// C linkage, C calling convention, undecorated names in the export table.
#pragma once

#if defined(_WIN32)
#define VEXOLIB_API extern "C" __declspec(dllexport)
#define VEXOLIB_CALL __cdecl
#else
#define VEXOLIB_API extern "C" __attribute__((visibility("default")))
#define VEXOLIB_CALL
#endif
