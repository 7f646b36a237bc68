// Calls of an empty method, the unit the enter/leave benchmark measures.
using System.Runtime.CompilerServices;

public static class Bench
{
    [MethodImpl(MethodImplOptions.NoInlining)]
    static void Leaf() { }

    public static void Run(int calls)
    {
        for (int i = 0; i < calls; i++) Leaf();
    }
}
