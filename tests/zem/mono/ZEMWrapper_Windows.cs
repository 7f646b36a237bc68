// The game-side wrapper of zem: injected into the running domain by zem itself
// (Assembly.Load(byte[])), then StaticInit runs once.
using System.Runtime.InteropServices;

public static class ZEMEngine
{
    [DllImport("zem")] static extern void ZEMEnginePushSample(string name);
    [DllImport("zem")] static extern void ZEMEnginePopSample();
    [DllImport("zem")] static extern void ZEMEngineLogInt(string name, int value);

    public static int InitCount;

    public static void StaticInit() { InitCount++; }
    public static void PushSample(string name) { ZEMEnginePushSample(name); }
    public static void PopSample() { ZEMEnginePopSample(); }
    public static void LogInt(string name, int value) { ZEMEngineLogInt(name, value); }
}
