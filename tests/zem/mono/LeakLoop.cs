// A leak between two object maps: the step keeps 5000 Sparks made on one call
// path and lets go of the 2000 Embers made before (their array stays). A first
// empty step compiles it beforehand, so that the compiler's own objects stay
// out of the comparison.
public class Ember { public int A; }
public class Spark { public long A, B; }

public static class LeakLoop
{
    public static object[] Embers;
    public static object[] Sparks;

    public static void Prepare(int embers, int sparks)
    {
        Embers = new object[embers];
        Sparks = new object[sparks];
        MakeEmbers(embers);
    }

    static void MakeEmbers(int n)
    {
        for (int i = 0; i < n; i++) Embers[i] = new Ember();
    }

    public static void Step(int sparks)
    {
        KeepSparks(sparks);
        if (Embers == null) return;
        for (int i = 0; i < Embers.Length; i++) Embers[i] = null;
    }

    static void KeepSparks(int n)
    {
        for (int i = 0; i < n; i++) Sparks[i] = new Spark();
    }
}
