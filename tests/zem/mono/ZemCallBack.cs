// Calls every function of the wrapper's API once, so zem's self-check can learn
// which methods belong to it.
using System;

namespace ZemCallBack
{
    public static class Profiler
    {
        public static void CheckAllApi()
        {
            if (!Wrapper.Bind()) return;
            Wrapper.Push("-");
            Wrapper.Pop();
            Wrapper.LogInt("-", 0);
        }
    }

    // The wrapper is found among the loaded assemblies: it is injected from bytes,
    // so a static reference would load a second copy from disk.
    public static class Wrapper
    {
        public static Action<string> Push;
        public static Action Pop;
        public static Action<string, int> LogInt;

        public static bool Bind()
        {
            if (Push != null) return true;
            foreach (var a in AppDomain.CurrentDomain.GetAssemblies())
            {
                if (a.GetName().Name != "ZEMWrapper_Windows") continue;
                var t = a.GetType("ZEMEngine");
                Push = (Action<string>)Delegate.CreateDelegate(typeof(Action<string>), t.GetMethod("PushSample"));
                Pop = (Action)Delegate.CreateDelegate(typeof(Action), t.GetMethod("PopSample"));
                LogInt = (Action<string, int>)Delegate.CreateDelegate(typeof(Action<string, int>), t.GetMethod("LogInt"));
                return true;
            }
            return false;
        }

        public static int InitCount()
        {
            foreach (var a in AppDomain.CurrentDomain.GetAssemblies())
                if (a.GetName().Name == "ZEMWrapper_Windows")
                    return (int)a.GetType("ZEMEngine").GetField("InitCount").GetValue(null);
            return -1;
        }
    }
}
