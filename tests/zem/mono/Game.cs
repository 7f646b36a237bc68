// A small game loop for the engine stand-in: Awake once, then Update per
// frame with nesting, recursion, an exception through profiled frames, named
// samples through the wrapper and a forced collection on request.
using System;
using ZemCallBack;

public class Game
{
    public static int Frames;
    public static bool CollectThisFrame;

    public static void Awake() { Helper(); }

    public static void Update()
    {
        Frames++;
        for (int i = 0; i < 3; i++) Level2();
        Recurse(4);
        if (Wrapper.Bind())
        {
            Wrapper.Push("Physics");
            Step();
            Wrapper.Pop();
        }
        if (CollectThisFrame) ForceCollect();
        try { Thrower(); } catch (InvalidOperationException) { }
    }

    static void Level2() { Level3(); }
    static void Level3() { Level4(); }
    static void Level4() { Helper(); }
    static void Helper() { Spin(200); }
    static void Step() { Spin(300); }

    static void Recurse(int n)
    {
        Spin(100);
        if (n > 1) Recurse(n - 1);
    }

    static void ForceCollect()
    {
        GC.Collect();
        GC.WaitForPendingFinalizers();
    }

    static void Thrower() { Inner(); }
    static void Inner() { throw new InvalidOperationException("through profiled frames"); }

    // Busy work long enough that no node is dropped as insignificant (under 100 us).
    static void Spin(int microseconds)
    {
        var sw = System.Diagnostics.Stopwatch.StartNew();
        while (sw.Elapsed.TotalMilliseconds * 1000 < microseconds) { }
    }
}
