// C# bindings of zem, as declared in sdk/include/zem.h. ZemNative is the flat
// export set; ZemSample is a using-scope over the sample calls.
using System;
using System.Runtime.InteropServices;

namespace VektSdk
{
    // One method per export. Paths and names go as ANSI strings (the library
    // opens paths as given). Flag arguments and results are one-byte bools.
    // The three engine entry points carry their 32-bit stdcall export names: the
    // engine calls them, a game does not.
    public static class ZemNative
    {
        public const string Library = "zem";

        // ---- engine entry points and fixed answers
        [DllImport(Library, EntryPoint = "_UnityPluginLoad@4", CallingConvention = CallingConvention.StdCall)]
        public static extern void UnityPluginLoad(IntPtr interfaces);
        [DllImport(Library, EntryPoint = "_UnityPluginUnload@0", CallingConvention = CallingConvention.StdCall)]
        public static extern void UnityPluginUnload();
        [DllImport(Library, EntryPoint = "_InitZemUnityPlugin@0", CallingConvention = CallingConvention.StdCall)]
        public static extern void InitZemUnityPlugin();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void TraceSink();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void AddOutputCallback();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void AddOnCompletedCallback();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int NativeVersion();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool SupportFeature([MarshalAs(UnmanagedType.LPStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool SupportRealtimeStat();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool EnableGL();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool EnableGPUProf();

        // ---- session: set-up, start, stop
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void MarkStartTime([MarshalAs(UnmanagedType.LPStr)] string key);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int StartProfiling();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int StartProfilerOn([MarshalAs(UnmanagedType.LPStr)] string runtimeModule, [MarshalAs(UnmanagedType.U1)] bool memory, [MarshalAs(UnmanagedType.U1)] bool cpu, [MarshalAs(UnmanagedType.U1)] bool il2cpp);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int StartMonoOn([MarshalAs(UnmanagedType.LPStr)] string runtimeModule, int mode, [MarshalAs(UnmanagedType.U1)] bool il2cpp);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool PreLoad([MarshalAs(UnmanagedType.LPStr)] string runtimeModule, [MarshalAs(UnmanagedType.U1)] bool il2cpp);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int hook_entry([MarshalAs(UnmanagedType.LPStr)] string runtimeModule);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void WinProfileCPU(int level);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool MonoEnterLeave();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void AddFilter([MarshalAs(UnmanagedType.LPStr)] string prefix, int kind);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void MultiThread([MarshalAs(UnmanagedType.U1)] bool on);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int StopProfiling();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int MonoStop();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetFrameAtEnd(int frame);

        // ---- samples and call trees
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void RegisterSample([MarshalAs(UnmanagedType.LPStr)] string name, [MarshalAs(UnmanagedType.LPStr)] string parentName);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogSample(int index, long nanoseconds, int count);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEnginePushSample([MarshalAs(UnmanagedType.LPStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEnginePopSample();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEnginePushSampleId(int index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEnginePopSampleId(int index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ZEMEngineCheckStack();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetSampleMask(IntPtr mask, int size);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void AutoProfileCPU([MarshalAs(UnmanagedType.U1)] bool on);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void IdMapFile([MarshalAs(UnmanagedType.LPStr)] string path1, [MarshalAs(UnmanagedType.LPStr)] string path2);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogCpuFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void DumpTotalCpuGcTree([MarshalAs(UnmanagedType.LPStr)] string path);

        // ---- managed allocations
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogGcFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void DumpCallTree([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void DumpObjectMap([MarshalAs(UnmanagedType.LPStr)] string path);

        // ---- logged values
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogIdMapFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogLogFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEngineLogMarker([MarshalAs(UnmanagedType.LPStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEngineLogInt([MarshalAs(UnmanagedType.LPStr)] string name, int value);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEngineLogFloat([MarshalAs(UnmanagedType.LPStr)] string name, float value);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEngineLogBool([MarshalAs(UnmanagedType.LPStr)] string name, [MarshalAs(UnmanagedType.U1)] bool value);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ZEMEngineLogVector([MarshalAs(UnmanagedType.LPStr)] string name, float x, float y, float z);

        // ---- frame statistics, event times, hardware files
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void FrameIdMapFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogTimeFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogFpsFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogGraphicsFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogMemoryFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int AddOverhead(int ms);
        // 0 draw calls (always 0), 1 managed heap size and 2 used (bytes), 3 GPU frame time in
        // microseconds (every time GetStat returns is in microseconds); -1 for another type.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int GetStat(int type);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void InitTimeLog([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int SetStartTime(int ms);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool SetLogFile([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool LogTime(int id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void HardwareInit([MarshalAs(UnmanagedType.LPStr)] string path1, [MarshalAs(UnmanagedType.LPStr)] string path2, int flushInterval);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void HardwareCheckAndWrite(int frame, int mask);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int HardwareStop();

        // ---- screenshots (render thread steps)
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnitySetGraphicsDevice(IntPtr device, int type, int eventType);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnityRenderEvent(int eventId);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void Setups(int width, int height, int ignored1, int ignored2, int sliceCount, [MarshalAs(UnmanagedType.LPStr)] string directory);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetEventId(int init, int beginDraw, int endDraw, int ignored, int fallback);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int NativeInit();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void BeginDraw();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void EndDraw();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void Screenshot([MarshalAs(UnmanagedType.LPStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool ScreenshotSuccess([MarshalAs(UnmanagedType.LPStr)] string name);

        // ---- Lua
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool StartLuaOn([MarshalAs(UnmanagedType.LPStr)] string luaModule, [MarshalAs(UnmanagedType.U1)] bool samples, [MarshalAs(UnmanagedType.U1)] bool direct);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void DoLuaHook(IntPtr L, [MarshalAs(UnmanagedType.U1)] bool on);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void AddLuaMarker();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int GetLuaMemory(IntPtr L);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool lua_setmap_path([MarshalAs(UnmanagedType.LPStr)] string path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LuaDumpObj(IntPtr L, [MarshalAs(UnmanagedType.LPStr)] string path, [MarshalAs(UnmanagedType.U1)] bool names);
    }

    // using (new ZemSample("Physics")) { ... }: one sample scope on the main thread.
    public struct ZemSample : IDisposable
    {
        public ZemSample(string name) { ZemNative.ZEMEnginePushSample(name); }
        public void Dispose() { ZemNative.ZEMEnginePopSample(); }
    }

    // The sample mask zem writes into at frame end: unmanaged memory that
    // neither moves nor goes away while zem holds its address.
    public sealed class ZemSampleMask : IDisposable
    {
        IntPtr mask;
        public readonly int Size;

        public ZemSampleMask(int size)
        {
            Size = size;
            mask = Marshal.AllocHGlobal(size);
            Marshal.Copy(new byte[size], 0, mask, size);
            ZemNative.SetSampleMask(mask, size);
        }

        public byte this[int index] { get { return Marshal.ReadByte(Live(), CheckedIndex(index)); } }

        // Takes the mask back from zem before the memory is released.
        public void Dispose()
        {
            if (mask == IntPtr.Zero) return;
            ZemNative.SetSampleMask(IntPtr.Zero, 0);
            Marshal.FreeHGlobal(mask);
            mask = IntPtr.Zero;
        }

        IntPtr Live()
        {
            if (mask == IntPtr.Zero) throw new ObjectDisposedException("ZemSampleMask");
            return mask;
        }

        int CheckedIndex(int index)
        {
            if (index < 0 || index >= Size) throw new ArgumentOutOfRangeException("index");
            return index;
        }
    }
}
