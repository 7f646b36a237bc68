/*
 * zem: profiler plug-in. The engine, the game's managed scripts and its Lua
 * layer call these functions; zem writes what it measures into files whose
 * paths the caller gives (opened as given, no directory is created).
 *
 * Plain C (C89 and later) and C++. C linkage; the C calling convention
 * (__cdecl), except the three engine entry points marked ZEM_STDCALL, whose
 * 32-bit export names carry the stdcall decoration (_UnityPluginLoad@4,
 * _UnityPluginUnload@0, _InitZemUnityPlugin@0): the engine finds those by
 * name itself; a game does not call them.
 *
 * Conventions of every export:
 * - No exception or crash crosses a call: a failure gives the result named
 *   on the function's line and nothing else happens.
 * - zem_flag arguments take a 32-bit slot of which only the low byte counts;
 *   zem_flag results are 0 or 1 in all 32 bits (reading the low byte alone,
 *   as a one-byte bool, is equally right).
 * - Texts and paths are NUL-terminated byte strings in the ANSI code page.
 * - Most calls belong on the engine's main thread: the thread of the last
 *   start call. Calls gated "main thread" do nothing on any other thread.
 */
#ifndef ZEM_H
#define ZEM_H

#include <stdint.h>

#if defined(_WIN32)
#define ZEM_CALL __cdecl
#define ZEM_STDCALL __stdcall
#else
#define ZEM_CALL
#define ZEM_STDCALL
#endif
/* The plug-in's own build marks the declarations exported; callers leave them empty. */
#ifndef ZEM_EXPORT
#define ZEM_EXPORT
#endif
#ifndef ZEM_ENGINE_EXPORT
#define ZEM_ENGINE_EXPORT ZEM_EXPORT
#endif

typedef int32_t zem_flag;

#ifdef __cplusplus
extern "C" {
#endif

/* ---- engine entry points and fixed answers ---------------------------- */

/* Engine load notice; does nothing. */
ZEM_ENGINE_EXPORT void ZEM_STDCALL UnityPluginLoad(void* interfaces);
/* Engine unload notice; does nothing. */
ZEM_ENGINE_EXPORT void ZEM_STDCALL UnityPluginUnload(void);
/* Engine plug-in set-up; does nothing. */
ZEM_ENGINE_EXPORT void ZEM_STDCALL InitZemUnityPlugin(void);
/* Diagnostic sink; discards everything. */
ZEM_EXPORT void ZEM_CALL TraceSink(void);
/* Accepted for compatibility; does nothing. */
ZEM_EXPORT void ZEM_CALL AddOutputCallback(void);
/* Accepted for compatibility; does nothing. */
ZEM_EXPORT void ZEM_CALL AddOnCompletedCallback(void);
/* Returns the interface version, 211. */
ZEM_EXPORT int32_t ZEM_CALL NativeVersion(void);
/* Returns 1 for "ScreenshotSuccess" and "EventId" (exact bytes), 0 otherwise and for NULL. */
ZEM_EXPORT zem_flag ZEM_CALL SupportFeature(const char* name);
/* Returns 1: GetStat is available. */
ZEM_EXPORT zem_flag ZEM_CALL SupportRealtimeStat(void);
/* Returns 0: no GL profiling. */
ZEM_EXPORT zem_flag ZEM_CALL EnableGL(void);
/* Returns 0: no GPU profiling. */
ZEM_EXPORT zem_flag ZEM_CALL EnableGPUProf(void);

/* ---- session: set-up, start, stop ------------------------------------ */

/* Before any identifier file: binary records scrambled with key, or text records for NULL. */
ZEM_EXPORT void ZEM_CALL MarkStartTime(const char* key);
/* Starts the session on the calling thread (now the main thread); returns 1, 0 on failure. */
ZEM_EXPORT int32_t ZEM_CALL StartProfiling(void);
/* Starts the session and managed profiling (memory and/or cpu) through runtimeModule; returns StartMonoOn's result, 0 on failure. */
ZEM_EXPORT int32_t ZEM_CALL StartProfilerOn(const char* runtimeModule, zem_flag memory, zem_flag cpu, zem_flag il2cpp);
/* Sets the managed mode (0 off, 1 cpu, 2 memory, 65535 both) on the calling thread and binds the runtime; non-zero when the runtime is bound, 0 otherwise (cpu mode still records samples). */
ZEM_EXPORT int32_t ZEM_CALL StartMonoOn(const char* runtimeModule, int32_t mode, zem_flag il2cpp);
/* Binds the managed runtime early, for enter/leave events; 0 when it cannot be bound. */
ZEM_EXPORT zem_flag ZEM_CALL PreLoad(const char* runtimeModule, zem_flag il2cpp);
/* Binds the runtime and arms injection of the managed wrapper; 0 when it cannot be bound. */
ZEM_EXPORT int32_t ZEM_CALL hook_entry(const char* runtimeModule);
/* Sets the CPU filter level (0 to 3). */
ZEM_EXPORT void ZEM_CALL WinProfileCPU(int32_t level);
/* Returns 1 when the runtime offers enter/leave but not invoke events, 0 otherwise. */
ZEM_EXPORT zem_flag ZEM_CALL MonoEnterLeave(void);
/* Adds an entry-frame filter: methods whose name starts with prefix, of the given kind. */
ZEM_EXPORT void ZEM_CALL AddFilter(const char* prefix, int32_t kind);
/* Memory mode also records threads other than the main thread. */
ZEM_EXPORT void ZEM_CALL MultiThread(zem_flag on);
/* Ends the hooks and closes the session's per-frame and identifier files; returns 0, -1 on failure. */
ZEM_EXPORT int32_t ZEM_CALL StopProfiling(void);
/* The same as StopProfiling. */
ZEM_EXPORT int32_t ZEM_CALL MonoStop(void);
/* Frame end (main thread, after a start call): writes the frame's trees, values and statistics once per growing frame number; does nothing before a start call. */
ZEM_EXPORT void ZEM_CALL SetFrameAtEnd(int32_t frame);

/* ---- samples and call trees ------------------------------------------ */

/* Registers the next sample index (0, 1, ...) for name under parentName (NULL for the top). */
ZEM_EXPORT void ZEM_CALL RegisterSample(const char* name, const char* parentName);
/* Adds a measured time and count to registered sample index (main thread, after a start call); unknown indexes are ignored. */
ZEM_EXPORT void ZEM_CALL LogSample(int32_t index, int64_t nanoseconds, int32_t count);
/* Opens a named sample scope (main thread, cpu or combined mode); ignored otherwise. */
ZEM_EXPORT void ZEM_CALL ZEMEnginePushSample(const char* name);
/* Closes the innermost sample scope; ignored when none is open. */
ZEM_EXPORT void ZEM_CALL ZEMEnginePopSample(void);
/* Opens a sample scope named by index (main thread, cpu or combined mode); an index outside 0..131071 is ignored. */
ZEM_EXPORT void ZEM_CALL ZEMEnginePushSampleId(int32_t index);
/* Closes the innermost sample scope; ignored when none is open. */
ZEM_EXPORT void ZEM_CALL ZEMEnginePopSampleId(int32_t index);
/* Returns the number of open sample scopes, 0 on failure. */
ZEM_EXPORT int32_t ZEM_CALL ZEMEngineCheckStack(void);
/* Hands over the sample mask array of size bytes; it stays owned by the caller and must stay valid and unmoved until replaced. */
ZEM_EXPORT void ZEM_CALL SetSampleMask(uint8_t* mask, int32_t size);
/* Reports over-frequent samples in the sample mask at frame end. */
ZEM_EXPORT void ZEM_CALL AutoProfileCPU(zem_flag on);
/* Opens the tree identifier file (path1) and the unregistered-sample file (path2); NULL skips one; a file that cannot be opened is skipped. */
ZEM_EXPORT void ZEM_CALL IdMapFile(const char* path1, const char* path2);
/* Opens the per-frame CPU tree file (emptied); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogCpuFile(const char* path);
/* Writes the CPU tree as it stands into path; skipped when path cannot be opened. */
ZEM_EXPORT void ZEM_CALL DumpTotalCpuGcTree(const char* path);

/* ---- managed allocations ------------------------------------------------ */

/* Opens the per-frame allocation tree file (after StartMonoOn); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogGcFile(const char* path);
/* Writes the cumulative allocation tree into path (after StartMonoOn); skipped when path cannot be opened. */
ZEM_EXPORT void ZEM_CALL DumpCallTree(const char* path);
/* Writes the live objects by call path and class into path (after StartMonoOn); skipped when path cannot be opened. */
ZEM_EXPORT void ZEM_CALL DumpObjectMap(const char* path);

/* ---- logged values ------------------------------------------------------ */

/* Opens the value identifier file; nothing changes while it is open. Values are recorded only after this call. */
ZEM_EXPORT void ZEM_CALL LogIdMapFile(const char* path);
/* Opens the per-frame value log (emptied); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogLogFile(const char* path);
/* Records a marker for this frame. */
ZEM_EXPORT void ZEM_CALL ZEMEngineLogMarker(const char* name);
/* Records an integer value for this frame. */
ZEM_EXPORT void ZEM_CALL ZEMEngineLogInt(const char* name, int32_t value);
/* Records a float value for this frame. */
ZEM_EXPORT void ZEM_CALL ZEMEngineLogFloat(const char* name, float value);
/* Records a flag value for this frame. */
ZEM_EXPORT void ZEM_CALL ZEMEngineLogBool(const char* name, zem_flag value);
/* Records a vector value for this frame. */
ZEM_EXPORT void ZEM_CALL ZEMEngineLogVector(const char* name, float x, float y, float z);

/* ---- frame statistics, event times, hardware files ---------------------- */

/* Writes the statistics identifier file at once; skipped when path cannot be opened. */
ZEM_EXPORT void ZEM_CALL FrameIdMapFile(const char* path);
/* Opens the frame timestamp file (emptied); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogTimeFile(const char* path);
/* Opens the frames-per-second file (emptied); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogFpsFile(const char* path);
/* Opens the frame time file (emptied); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogGraphicsFile(const char* path);
/* Opens the managed heap file (after StartMonoOn, emptied); "" closes it. */
ZEM_EXPORT void ZEM_CALL LogMemoryFile(const char* path);
/* Subtracts ms from the next frame time; returns ms, 0 on failure. */
ZEM_EXPORT int32_t ZEM_CALL AddOverhead(int32_t ms);
/* Returns a realtime statistic: 0 draw calls (always 0), 1 managed heap size and 2 managed heap used (bytes, low 32 bits), 3 GPU time of a recent frame in microseconds, like every time GetStat returns (0 when unknown); -1 for another type or on failure. The graphics file's frame time is in milliseconds. */
ZEM_EXPORT int32_t ZEM_CALL GetStat(int32_t type);
/* First call only: sets the time-log path and the clock origin. */
ZEM_EXPORT void ZEM_CALL InitTimeLog(const char* path);
/* Puts the clock origin ms milliseconds before now; returns the new origin in clock ticks (low 32 bits), -1 on failure. */
ZEM_EXPORT int32_t ZEM_CALL SetStartTime(int32_t ms);
/* Switches the event time file to path ("" only closes it); 0 when path is already the open file, cannot be opened, or on failure. */
ZEM_EXPORT zem_flag ZEM_CALL SetLogFile(const char* path);
/* Writes an event time line for id; 0 when no event time file is open. */
ZEM_EXPORT zem_flag ZEM_CALL LogTime(int32_t id);
/* Writes the hardware header file (path1) and opens the working-set file (path2), flushed every flushInterval samples. */
ZEM_EXPORT void ZEM_CALL HardwareInit(const char* path1, const char* path2, int32_t flushInterval);
/* Writes a working-set sample for frame when mask asks for one. */
ZEM_EXPORT void ZEM_CALL HardwareCheckAndWrite(int32_t frame, int32_t mask);
/* Closes the working-set file; returns the close's result, -1 on failure. */
ZEM_EXPORT int32_t ZEM_CALL HardwareStop(void);

/* ---- screenshots (render thread steps) ---------------------------------- */

/* Records the engine's graphics device: type 1 Direct3D 9, type 2 Direct3D 11, others ignored. */
ZEM_EXPORT void ZEM_CALL UnitySetGraphicsDevice(void* device, int32_t type, int32_t eventType);
/* Render thread: runs the init, begin-draw or end-draw step whose event number matches. */
ZEM_EXPORT void ZEM_CALL UnityRenderEvent(int32_t eventId);
/* Screenshot size, slice count and directory (prefix of every file name, up to 199 bytes). */
ZEM_EXPORT void ZEM_CALL Setups(int32_t width, int32_t height, int32_t ignored1, int32_t ignored2, int32_t sliceCount, const char* directory);
/* Event numbers of the init, begin-draw, end-draw and fallback render events. */
ZEM_EXPORT void ZEM_CALL SetEventId(int32_t init, int32_t beginDraw, int32_t endDraw, int32_t ignored, int32_t fallback);
/* Creates the screenshot helper for the recorded device; 0 when there is none. */
ZEM_EXPORT int32_t ZEM_CALL NativeInit(void);
/* Render thread: begin-draw step of a pending screenshot. */
ZEM_EXPORT void ZEM_CALL BeginDraw(void);
/* Render thread: end-draw step of a pending screenshot. */
ZEM_EXPORT void ZEM_CALL EndDraw(void);
/* Requests a screenshot into directory + name + ".jpg"; ignored before NativeInit. */
ZEM_EXPORT void ZEM_CALL Screenshot(const char* name);
/* Requests a screenshot; 1 when accepted, 0 when busy, not set up or on failure. */
ZEM_EXPORT zem_flag ZEM_CALL ScreenshotSuccess(const char* name);

/* ---- Lua -------------------------------------------------------------------- */

/* Binds the game's Lua module and starts Lua profiling (samples or direct); 0 when the module cannot be bound. */
ZEM_EXPORT zem_flag ZEM_CALL StartLuaOn(const char* luaModule, zem_flag samples, zem_flag direct);
/* Installs (on 1) or removes (on 0) the Lua hook on L; ignored before StartLuaOn. */
ZEM_EXPORT void ZEM_CALL DoLuaHook(void* L, zem_flag on);
/* Logs the current Lua function's name as a marker; ignored before StartLuaOn. */
ZEM_EXPORT void ZEM_CALL AddLuaMarker(void);
/* Returns the Lua heap of L in KB, -1 on failure. */
ZEM_EXPORT int32_t ZEM_CALL GetLuaMemory(void* L);
/* Opens the Lua identifier file; 0 when it cannot be opened. */
ZEM_EXPORT zem_flag ZEM_CALL lua_setmap_path(const char* path);
/* Writes Lua object counts of L into path + ".lo" and path + ".lk" (with names when names is 1); raises a Lua error off the main thread. */
ZEM_EXPORT void ZEM_CALL LuaDumpObj(void* L, const char* path, zem_flag names);

#ifdef __cplusplus
}
#endif

#endif /* ZEM_H */
