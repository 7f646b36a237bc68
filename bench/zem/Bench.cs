// Calls of an empty method, the unit the enter/leave benchmark measures, and
// allocations of a small object, the unit of the allocation benchmark.
using System.Runtime.CompilerServices;

public class Item { public int A, B; }

public static class Bench
{
    public static object Last;

    // Each object is garbage once the next one is made.
    public static void Allocate(int count)
    {
        for (int i = 0; i < count; i++) Last = new Item();
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    static void Leaf() { }

    public static void Run(int calls)
    {
        for (int i = 0; i < calls; i++) Leaf();
    }
}
